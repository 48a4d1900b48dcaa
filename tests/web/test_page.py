"""The web page in a real browser (Debian's chromium, headless): every
shipped scene opens and draws, ticks in the page are the desktop's bit for
bit, bad input is refused in one line and leaves the run, a shared link and a
saved run go on as they were, and the hand pushes the flow and draws walls."""

import json
import os
import subprocess
import time
import tomllib

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service

PAGE = os.path.abspath(os.environ["FLOWBOX_PAGE"])
HEADLESS = os.environ["FLOWBOX_HEADLESS"]


@pytest.fixture(scope="module")
def browser():
    options = Options()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1300,1000",
                     "--force-device-scale-factor=1"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    yield driver
    driver.quit()


@pytest.fixture(autouse=True)
def no_script_errors(browser):
    """Whatever a test does, the page's script never fails."""
    browser.get_log("browser")
    yield
    errors = [entry["message"] for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []


def open_page(browser, fragment=""):
    """The page at #fragment, ready, opened paused."""
    browser.get("about:blank")
    browser.get("file://" + os.path.join(PAGE, "index.html") + "#" + (fragment + "&" if fragment else "") + "paused")
    for _ in range(200):
        if browser.execute_script("return document.body.dataset.ready === 'true'"):
            break
        time.sleep(0.05)
    else:
        raise AssertionError("the page never became ready")
    assert browser.execute_script("return flowboxPage.running") is False
    return browser


def js(browser, script, *arguments):
    return browser.execute_script(script, *arguments)


def pixel(browser, x, y):
    return js(browser, "return Array.from(document.getElementById('picture').getContext('2d')"
                       ".getImageData(arguments[0], arguments[1], 1, 1).data).slice(0, 3)", x, y)


def window_scene(browser):
    return js(browser, "return document.getElementById('toml').value")


def headless(*arguments):
    out = subprocess.run([HEADLESS, *arguments], capture_output=True, text=True, check=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def test_every_shipped_scene_opens_and_draws(browser):
    names = js(open_page(browser), "return Object.keys(window.flowboxScenes).sort()")
    assert "cylinder" in names and "dam-break" in names
    for name in names:
        page = open_page(browser, "scene=" + name)
        assert js(page, "return document.getElementById('problem').textContent") == ""
        assert js(page, "return document.getElementById('scene').value") == name
        js(page, "flowboxPage.run.step(5); document.getElementById('step').click()")
        frame = js(page, "return {solids: Array.from(flowboxPage.frame.solids), liquid: Array.from(flowboxPage.frame.liquid)}")
        counts = js(page, "const c = document.getElementById('picture'); const d = c.getContext('2d')"
                          ".getImageData(0, 0, c.width, c.height).data; const n = {solid: 0, liquid: 0};"
                          " for (let k = 0; k < d.length; k += 4) {"
                          "   if (d[k] === 77 && d[k + 1] === 77 && d[k + 2] === 92) ++n.solid;"
                          "   if (d[k] === 13 && d[k + 1] === 56 && d[k + 2] === 140) ++n.liquid; } return n")
        # Solids and the liquid in their colours, where the scene has them.
        assert (counts["solid"] > 0) == bool(frame["solids"] or "surface" in window_scene(page)), name
        assert (counts["liquid"] > 0) == bool(frame["liquid"]), name
        # Not a blank picture.
        assert len({tuple(pixel(page, x, y)) for x in range(5, 300, 37) for y in range(5, 200, 29)}) > 2, name
    # A field view draws its colour bar, its scale's colours beside the picture's.
    page = open_page(browser, "scene=heated-cavity&view=temperature")
    js(page, "document.getElementById('step').click()")
    bar = js(page, "return flowboxPage.frame.colourBar")
    assert bar["title"] and bar["width"] > 0
    colours = set(tuple(pixel(page, int(bar["x"] + 9), int(bar["y"] + bar["height"] * f))) for f in (0.4, 0.6, 0.8))
    assert len(colours) > 1


@pytest.mark.parametrize("fragment, arguments, ticks", [
    ("", [], 100),
    ("scene=cylinder", ["--scene", "cylinder"], 30),
    ("scene=dam-break", ["--scene", "dam-break"], 60),
])
def test_ticks_in_the_page_equal_the_headless_dump(browser, fragment, arguments, ticks):
    page = open_page(browser, fragment)
    fields = js(page, "const run = flowboxPage.run; run.restart(); run.step(arguments[0]); const f = run.fields();"
                      " return {u: Array.from(f.u), v: Array.from(f.v), pressure: Array.from(f.pressure),"
                      " line: JSON.parse(JSON.stringify(run.tickLine()))}", ticks)
    lines = headless(*arguments, "--ticks", str(ticks), "--dump")
    dump, last = lines[-1], lines[-2]
    for name in ("u", "v", "pressure"):
        assert fields[name] == dump[name], name
    for key in ("tick", "iterations", "residual", "max_divergence", "max_speed", "kinetic_energy"):
        assert fields["line"][key] == last[key], key


def test_bad_input_is_refused_in_one_line_and_leaves_the_run(browser):
    page = open_page(browser, "scene=cavity")
    js(page, "flowboxPage.run.step(3)")
    editor = "document.getElementById('toml')"
    js(page, editor + ".value = '[grid]\\ncells = [8, -1]\\n'; document.getElementById('run-toml').click()")
    problem = js(page, "return document.getElementById('problem').textContent")
    assert problem.startswith("the page's scene:2:") and "\n" not in problem
    assert js(page, "return [flowboxPage.run.name(), flowboxPage.run.tickLine().tick]") == ["lid-driven cavity", 3]
    # A value the scene file refuses, the settings refuse, with its message; the field shows what holds.
    js(page, "const input = document.querySelector('#settings input[name=\"fluid.viscosity\"]');"
             " input.value = '-1'; input.dispatchEvent(new Event('change'))")
    assert "viscosity" in js(page, "return document.getElementById('problem').textContent")
    assert js(page, "return document.querySelector('#settings input[name=\"fluid.viscosity\"]').value") == "0.01"
    js(page, "const input = document.querySelector('#settings input[name=\"time.step\"]');"
             " input.value = 'fast'; input.dispatchEvent(new Event('change'))")
    assert js(page, "return document.getElementById('problem').textContent") == 'time.step: "fast" is not a number'
    # A damaged link, or one naming no scene: one line, and the standard box.
    for fragment in ("toml=not-a-compressed-scene", "scene=no-such-scene"):
        page = open_page(browser, fragment)
        problem = js(page, "return document.getElementById('problem').textContent")
        assert problem.startswith("This link does not hold a scene") and "\n" not in problem
        assert js(page, "return flowboxPage.run.touchable()") is False
    # A grid larger than a page holds.
    page = open_page(browser, "scene=cavity")
    js(page, editor + ".value = '[grid]\\ncells = [4096, 4096]\\n'; document.getElementById('run-toml').click()")
    assert "more than the page can hold" in js(page, "return document.getElementById('problem').textContent")
    assert js(page, "return flowboxPage.run.name()") == "lid-driven cavity"
    # A state that is not one.
    assert "state" in js(open_page(browser, "scene=cavity"),
                         "return flowboxPage.run.resume(new Uint8Array([1, 2, 3]), 'bad.state')")


def test_a_shared_link_and_a_saved_run_go_on_as_they_were(browser):
    page = open_page(browser, "scene=cavity")
    js(page, "const input = document.querySelector('#settings input[name=\"fluid.viscosity\"]');"
             " input.value = '0.02'; input.dispatchEvent(new Event('change'))")
    js(page, "document.getElementById('share').click()")
    for _ in range(100):
        address = browser.current_url
        if "toml=" in address:
            break
        time.sleep(0.05)
    assert "#toml=" in address
    shared = open_page(browser, address.split("#", 1)[1])
    assert js(shared, "return document.querySelector('#settings input[name=\"fluid.viscosity\"]').value") == "0.02"
    # Saved, stepped on, and resumed from the save: the same bits.
    after = js(shared, "const run = flowboxPage.run; run.restart(); run.step(4); const saved = run.save();"
                       " run.step(6); const straight = Array.from(run.fields().u);"
                       " const problem = run.resume(saved, 'run.state'); run.step(6);"
                       " return {problem, straight, resumed: Array.from(run.fields().u), tick: run.tickLine().tick}")
    assert after["problem"] == ""
    assert after["tick"] == 10
    assert after["resumed"] == after["straight"]


def test_the_hand_pushes_the_flow_and_draws_walls(browser):
    page = open_page(browser, "scene=cavity")
    js(page, "flowboxPage.run.step(2)")
    box = js(page, "const r = document.getElementById('picture').getBoundingClientRect();"
                   " return {left: r.left, top: r.top, cell: flowboxPage.frame.cellSize}")

    def pointer(kind, i, j, button=0):
        js(page, "document.getElementById('picture').dispatchEvent(new PointerEvent(arguments[0], {bubbles: true,"
                 " pointerId: 1, button: arguments[3], clientX: arguments[1], clientY: arguments[2]}))",
           kind, box["left"] + (i + 0.5) * box["cell"], box["top"] + (j + 0.5) * box["cell"], button)

    # A right-button drag along row 70 draws wall cells there.
    pointer("pointerdown", 40, 70, button=2)
    for i in range(41, 50):
        pointer("pointermove", i, 70, button=2)
    pointer("pointerup", 49, 70, button=2)
    def walls():
        return [(s["rectangle"]["from"], s["rectangle"]["to"])
                for s in tomllib.loads(js(page, "return flowboxPage.run.sceneText()")).get("solid", [])]

    assert walls() == [([40, 70], [49, 70])]
    # Shift and the right button erase one again.
    js(page, "document.getElementById('picture').dispatchEvent(new PointerEvent('pointerdown', {bubbles: true,"
             " pointerId: 1, button: 2, shiftKey: true, clientX: arguments[0], clientY: arguments[1]}))",
       box["left"] + 49.5 * box["cell"], box["top"] + 70.5 * box["cell"])
    pointer("pointerup", 49, 70, button=2)
    assert walls() == [([40, 70], [48, 70])]
    # Ctrl and a drag pour dye.
    js(page, "document.getElementById('picture').dispatchEvent(new PointerEvent('pointerdown', {bubbles: true,"
             " pointerId: 1, button: 0, ctrlKey: true, clientX: arguments[0], clientY: arguments[1]}))",
       box["left"] + 20.5 * box["cell"], box["top"] + 20.5 * box["cell"])
    js(page, "document.getElementById('step').click()")
    pointer("pointerup", 20, 20)
    assert js(page, "return flowboxPage.run.fields().dye_r.reduce((a, b) => a + b, 0)") > 1.0
    # The window's keys, pressed on the page: V shows the next field, A hides the arrows.
    js(page, "for (const key of ['v', 'a']) document.body.dispatchEvent(new KeyboardEvent('keydown', {key, bubbles: true}))")
    assert js(page, "return [flowboxPage.options.view, flowboxPage.options.arrows]") == ["speed", False]
    # A drag to the right at mid-depth pushes the flow there to the right.
    before = js(page, "return Array.from(flowboxPage.run.fields().u)")
    pointer("pointerdown", 60, 40)
    for k in range(1, 6):
        pointer("pointermove", 60 + 3 * k, 40)
        js(page, "document.getElementById('step').click()")
    pointer("pointerup", 75, 40)
    after = js(page, "return Array.from(flowboxPage.run.fields().u)")
    ny = 128
    assert after[68 * ny + 40] - before[68 * ny + 40] > 0.1


def test_files_opened_in_the_page_run_as_on_the_desktop(browser, tmp_path):
    # A run saved by the desktop program, opened in the page, goes on as the program does.
    state = tmp_path / "desktop.state"
    headless("--scene", "cylinder", "--ticks", "10", "--save", str(state))
    page = open_page(browser, "scene=cavity")
    js(page, "document.getElementById('file').hidden = false")
    page.find_element("id", "file").send_keys(str(state))
    for _ in range(100):
        if js(page, "return flowboxPage.run.tickLine().tick") == 10:
            break
        time.sleep(0.05)
    u = js(page, "flowboxPage.running = false; flowboxPage.run.step(5); return Array.from(flowboxPage.run.fields().u)")
    assert u == headless("--resume", str(state), "--ticks", "5", "--dump")[-1]["u"]
    # A scene file, and a bad one that leaves the run.
    scene = tmp_path / "tiny.toml"
    scene.write_text('name = "tiny"\n[grid]\ncells = [12, 8]\n')
    page.find_element("id", "file").send_keys(str(scene))
    for _ in range(100):
        if js(page, "return flowboxPage.run.name()") == "tiny":
            break
        time.sleep(0.05)
    assert js(page, "return [flowboxPage.run.cellsX(), flowboxPage.run.cellsY()]") == [12, 8]
    bad = tmp_path / "bad.toml"
    bad.write_text("[grid]\ncells = [12, 8]\n[fluid]\nviscosity = -1\n")
    page.find_element("id", "file").send_keys(str(bad))
    for _ in range(100):
        if js(page, "return document.getElementById('problem').textContent"):
            break
        time.sleep(0.05)
    assert js(page, "return document.getElementById('problem').textContent").startswith("bad.toml:4:")
    assert js(page, "return flowboxPage.run.name()") == "tiny"


def test_the_picture_is_sharp_on_a_screen_of_two_pixels_a_point():
    options = Options()
    for argument in ("--headless=new", "--no-sandbox", "--window-size=1300,1000", "--force-device-scale-factor=2"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        page = open_page(driver, "scene=cylinder")
        sizes = js(page, "const c = document.getElementById('picture'); return [c.width, c.height,"
                         " parseFloat(c.style.width), parseFloat(c.style.height)]")
        assert sizes[0] == 2 * sizes[2] and sizes[1] == 2 * sizes[3]
    finally:
        driver.quit()


def test_ctrl_and_a_drag_pour_a_liquid_where_none_is(browser):
    page = open_page(browser, "scene=dam-break")
    before = js(page, "return flowboxPage.run.tickLine().liquid_particles")
    box = js(page, "const r = document.getElementById('picture').getBoundingClientRect();"
                   " return {left: r.left, top: r.top, cell: flowboxPage.frame.cellSize}")
    js(page, "document.getElementById('picture').dispatchEvent(new PointerEvent('pointerdown', {bubbles: true,"
             " pointerId: 1, button: 0, ctrlKey: true, clientX: arguments[0], clientY: arguments[1]}))",
       box["left"] + 45.5 * box["cell"], box["top"] + 10.5 * box["cell"])
    js(page, "document.getElementById('step').click()")
    js(page, "document.getElementById('picture').dispatchEvent(new PointerEvent('pointerup', {bubbles: true,"
             " pointerId: 1}))")
    assert js(page, "return flowboxPage.run.tickLine().liquid_particles") > before
    assert js(page, "return 'dye_r' in flowboxPage.run.fields()") is False
