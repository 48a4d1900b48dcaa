#!/usr/bin/env python3
"""The web page's costs beside the desktop's, in the same run: the first
picture after opening, and the median tick (and its drawing) of the standard
box and the lid-driven cavity on 128 x 128 and 256 x 256 cells, in Debian's
chromium (headless) and in flowbox-headless on one thread.
    bench/web_bench.py PAGE_FOLDER HEADLESS"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service

page, headless = sys.argv[1:3]
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
cavity = open(os.path.join(root, "scenes", "cavity.toml")).read()
cases = [("standard box", ""), ("cavity 128", cavity),
         ("cavity 256", cavity.replace("cells = [128, 128]", "cells = [256, 256]")
          .replace("cell_size = 0.0078125", "cell_size = 0.00390625"))]


def desktop(text, ticks=30):
    """flowbox-headless's median step on one thread."""
    with tempfile.NamedTemporaryFile("w", suffix=".toml") as scene:
        scene.write(text)
        scene.flush()
        arguments = [headless, "--ticks", str(ticks)] + (["--scene", scene.name] if text else [])
        out = subprocess.run(arguments, capture_output=True, text=True, check=True,
                             env=dict(os.environ, FLOWBOX_THREADS="1")).stdout
    return statistics.median(json.loads(line)["step_us"] for line in out.splitlines()[3:]) / 1000


options = Options()
for argument in ("--headless=new", "--no-sandbox", "--window-size=1300,1000", "--force-device-scale-factor=1"):
    options.add_argument(argument)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
browser.set_script_timeout(300)
try:
    browser.get("file://" + os.path.join(os.path.abspath(page), "index.html") + "#scene=cylinder")
    for _ in range(400):
        if browser.execute_script("return document.body.dataset.ready === 'true'"):
            break
        time.sleep(0.025)
    first = browser.execute_script("return flowboxPage.firstPicture")
    print(f"the page's first picture (the cylinder): {first:.0f} ms after it began to load")
    print(f"{'':14} {'page tick':>10} {'its drawing':>12} {'desktop tick':>13} {'ratio':>6}")
    for name, text in cases:
        ticks = 20 if "256" in name else 40
        measured = browser.execute_script("return flowboxBenchmark(arguments[0], arguments[1])", text, ticks)
        one_thread = desktop(text)
        print(f"{name:14} {measured['tick']:8.2f} ms {measured['draw']:9.2f} ms {one_thread:10.2f} ms"
              f" {measured['tick'] / one_thread:6.2f}")
finally:
    browser.quit()
