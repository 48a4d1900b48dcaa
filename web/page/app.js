"use strict";
// The page: one run of a scene in the simulation's module (flowbox.js), drawn
// from the frames the module composes, as the window draws them; the window's
// keys, gestures and settings in a browser's idiom; a scene sent as a link.

const tickMilliseconds = 50;  // the window's timer
const plotLength = 400;       // ticks in the live plot

const page = {
    module: null,
    run: null,
    running: true,
    options: { arrows: true, grid: true, particles: false, dye: true, temperature: true, view: "flow" },
    tracers: true,
    sceneName: "",
    drag: null,      // "push", "pour", "draw" or "erase"
    pointer: null,   // where it is, in the scene's length units
    lastPointer: null,
    plot: [],
    frame: null,
};

const $ = (id) => document.getElementById(id);

function say(text) {
    $("status").textContent = text;
}

function showProblem(text) {
    $("problem").textContent = text;
}

// ---- opening scenes and runs -------------------------------------------------

function shippedScenes() {
    return Object.keys(window.flowboxScenes || {}).sort();
}

// Opens a scene's text; a bad one leaves the run that was there.
function openText(text, source, name) {
    const problem = page.run.open(text, source);
    if (problem) {
        showProblem(problem);
        return false;
    }
    showProblem("");
    page.sceneName = name || "";
    $("toml").value = text;
    afterOpening();
    return true;
}

function openStandard() {
    page.run.openStandard();
    page.sceneName = "";
    $("toml").value = "";
    showProblem("");
    afterOpening();
}

function openShipped(name) {
    if (name === "" || !(name in window.flowboxScenes)) {
        openStandard();
        return true;
    }
    return openText(window.flowboxScenes[name], name + ".toml", name);
}

function afterOpening() {
    page.plot = [];
    page.options.view = "flow";
    $("scene").value = page.sceneName;
    const touchable = page.run.touchable(), views = page.run.views();
    $("view").disabled = !touchable;
    $("dye").disabled = !views.includes("dye");
    $("temperature").disabled = !views.includes("temperature");
    $("particles").disabled = !page.run.hasLiquid();
    $("hand").hidden = !touchable;
    buildSettings();
    fitCanvas();
    draw();
    report();
}

async function openFile(file) {
    if (file.name.endsWith(".state")) {
        const bytes = new Uint8Array(await file.arrayBuffer());
        const problem = page.run.resume(bytes, file.name);
        if (problem) {
            showProblem(problem);
            return;
        }
        page.sceneName = "";
        showProblem("");
        $("toml").value = page.run.sceneText();
        afterOpening();
        say(`${file.name}: going on from tick ${page.run.tickLine().tick}`);
        return;
    }
    openText(await file.text(), file.name, "");
}

// ---- a scene as a link ------------------------------------------------------

async function compressed(text) {
    const stream = new Blob([text]).stream().pipeThrough(new CompressionStream("deflate-raw"));
    const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
    let binary = "";
    for (const b of bytes) binary += String.fromCharCode(b);
    return btoa(binary).replace(/\+/g, "-").replace(/\//g, "_").replace(/=+$/, "");
}

async function decompressed(code) {
    const binary = atob(code.replace(/-/g, "+").replace(/_/g, "/"));
    const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate-raw"));
    return await new Response(stream).text();
}

async function link() {
    // A shipped scene as it was shipped goes by its name; changed, or any other, by its text.
    const parts = [];
    const text = page.run.touchable() ? page.run.sceneText() : "";
    if (page.sceneName && text === window.flowboxScenes[page.sceneName])
        parts.push("scene=" + encodeURIComponent(page.sceneName));
    else if (text)
        parts.push("toml=" + (await compressed(text)));
    if (page.options.view !== "flow") parts.push("view=" + page.options.view);
    return location.href.split("#")[0] + (parts.length ? "#" + parts.join("&") : "");
}

// Opens what the address names; a bad or damaged link says so and opens the standard box.
async function openLink() {
    const fields = new URLSearchParams(location.hash.slice(1));
    if (fields.has("paused")) page.running = false;
    try {
        if (fields.has("scene")) {
            const name = fields.get("scene");
            if (!(name in window.flowboxScenes)) throw new Error(`no shipped scene is called "${name}"`);
            openShipped(name);
        } else if (fields.has("toml")) {
            const text = await decompressed(fields.get("toml"));
            if (!openText(text, "the link's scene", "")) throw new Error($("problem").textContent);
        } else {
            openStandard();
        }
        const view = fields.get("view");
        if (view && page.run.views().includes(view)) page.options.view = view;
        const tick = Number(fields.get("tick") || 0);
        if (Number.isInteger(tick) && tick > 0 && tick <= 100000) page.run.step(tick);
    } catch (error) {
        openStandard();
        showProblem(`This link does not hold a scene flowbox can run: ${error.message}`);
    }
    syncButtons();
    draw();
    report();
}

// ---- drawing --------------------------------------------------------------------

// The picture as wide as the page gives it, in the grid's proportions, sharp
// on a screen of any density.
function fitCanvas() {
    const canvas = $("picture");
    const room = Math.max(200, Math.floor(canvas.parentElement.clientWidth));
    const nx = page.run.cellsX(), ny = page.run.cellsY();
    const tallest = Math.round(window.innerHeight * 0.75);
    // The picture's cells are whole pixels: the canvas is as large as the picture they make.
    const cell = page.run.compose(room, Math.min(Math.round(room * ny / nx), tallest), page.options).cellSize;
    const width = Math.max(1, Math.round(nx * cell)), height = Math.max(1, Math.round(ny * cell));
    const ratio = window.devicePixelRatio || 1;
    canvas.style.width = width + "px";
    canvas.style.height = height + "px";
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
    page.size = { width, height, ratio };
}

function fillTriangles(context, points, colour) {
    if (points.length === 0) return;
    context.fillStyle = colour;
    context.beginPath();
    for (let k = 0; k + 5 < points.length; k += 6) {
        context.moveTo(points[k], points[k + 1]);
        context.lineTo(points[k + 2], points[k + 3]);
        context.lineTo(points[k + 4], points[k + 5]);
        context.closePath();
    }
    context.fill("nonzero");
}

function strokeSegments(context, segments, colour) {
    if (segments.length === 0) return;
    context.strokeStyle = colour;
    context.lineWidth = 1;
    context.beginPath();
    for (let k = 0; k + 3 < segments.length; k += 4) {
        context.moveTo(segments[k], segments[k + 1]);
        context.lineTo(segments[k + 2], segments[k + 3]);
    }
    context.stroke();
}

function drawColourBar(context, bar) {
    context.fillStyle = "rgba(0, 0, 0, 0.67)";
    context.fillRect(bar.x, bar.y, bar.width, bar.height);
    context.font = "11px system-ui, sans-serif";
    context.textBaseline = "middle";
    const pad = 6, line = 14, steps = bar.colours.length / 3;
    const colour = (k) => `rgb(${bar.colours[3 * k]}, ${bar.colours[3 * k + 1]}, ${bar.colours[3 * k + 2]})`;
    const number = (value) => String(Number(value.toPrecision(4)));
    if (bar.across) {
        context.fillStyle = "#fff";
        context.fillText(`${bar.title}  ${bar.units}`, bar.x + pad, bar.y + pad + line / 2, bar.width - 2 * pad);
        const row = bar.y + pad + line + 2;
        const low = number(bar.low), high = number(bar.high);
        const lowWidth = context.measureText(low).width, highWidth = context.measureText(high).width;
        context.fillText(low, bar.x + pad, row + line / 2);
        context.fillText(high, bar.x + bar.width - pad - highWidth, row + line / 2);
        const left = bar.x + 2 * pad + lowWidth, right = bar.x + bar.width - 2 * pad - highWidth;
        for (let k = 0; k < steps && right > left; ++k) {
            context.fillStyle = colour(k);
            context.fillRect(left + (right - left) * k / steps, row + 2, (right - left) / steps + 0.5, line - 4);
        }
        return;
    }
    context.fillStyle = "#fff";
    context.fillText(bar.title, bar.x + pad, bar.y + pad + line / 2, bar.width - 2 * pad);
    context.fillStyle = "#c8c8c8";
    context.fillText(bar.units, bar.x + pad, bar.y + pad + 1.5 * line, bar.width - 2 * pad);
    const top = bar.y + pad + 2.5 * line, height = bar.height - 3 * line - 2 * pad;
    for (let k = 0; k < steps && height > 0; ++k) {
        context.fillStyle = colour(k);
        context.fillRect(bar.x + pad, top + height - height * (k + 1) / steps, 14, height / steps + 0.5);
    }
    context.fillStyle = "#fff";
    context.fillText(number(bar.high), bar.x + 2 * pad + 14, top);
    context.fillText(number(bar.low), bar.x + 2 * pad + 14, top + height);
}

function draw() {
    const canvas = $("picture"), context = canvas.getContext("2d");
    const { width, height, ratio } = page.size;
    const frame = page.run.compose(width, height, page.options);
    page.frame = frame;
    const colours = page.palette;
    context.setTransform(ratio, 0, 0, ratio, 0, 0);
    context.fillStyle = "#000";
    context.fillRect(0, 0, width, height);
    if (frame.cellColours.length > 0) {
        const cells = document.createElement("canvas");
        cells.width = frame.cellColumns;
        cells.height = frame.cellRows;
        const image = cells.getContext("2d").createImageData(frame.cellColumns, frame.cellRows);
        for (let k = 0, n = frame.cellColumns * frame.cellRows; k < n; ++k) {
            image.data[4 * k] = frame.cellColours[3 * k];
            image.data[4 * k + 1] = frame.cellColours[3 * k + 1];
            image.data[4 * k + 2] = frame.cellColours[3 * k + 2];
            image.data[4 * k + 3] = 255;
        }
        cells.getContext("2d").putImageData(image, 0, 0);
        context.imageSmoothingEnabled = true;
        context.drawImage(cells, 0, 0, frame.cellColumns * frame.cellSize, frame.cellRows * frame.cellSize);
    }
    fillTriangles(context, frame.liquid, colours.liquid);
    fillTriangles(context, frame.air, colours.air);
    strokeSegments(context, frame.grid, colours.grid);
    context.fillStyle = colours.solid;
    for (let k = 0; k + 1 < frame.solids.length; k += 2)
        context.fillRect(frame.solids[k], frame.solids[k + 1], frame.cellSize, frame.cellSize);
    for (const outline of frame.discOutlines) {
        context.beginPath();
        for (let k = 0; k + 1 < outline.length; k += 2) context.lineTo(outline[k], outline[k + 1]);
        context.closePath();
        context.fill();
    }
    strokeSegments(context, frame.arrows, colours.arrow);
    const across = colours.dotSize, half = across / 2;
    for (const [points, colour] of [[frame.dots, colours.dot], [frame.particles, colours.particle]]) {
        context.fillStyle = colour;
        for (let k = 0; k + 1 < points.length; k += 2)
            context.fillRect(Math.floor(points[k] + 0.5) - half, Math.floor(points[k + 1] + 0.5) - half, across, across);
    }
    if (page.tracers) {
        context.lineWidth = 1;
        for (const strip of frame.trails) {
            for (let k = 0; k + 11 < strip.length; k += 6) {
                const r = Math.round(255 * strip[k + 2]), g = Math.round(255 * strip[k + 3]);
                const b = Math.round(255 * strip[k + 4]);
                context.strokeStyle = `rgba(${r}, ${g}, ${b}, ${(strip[k + 5] + strip[k + 11]) / 2})`;
                context.beginPath();
                context.moveTo(strip[k], strip[k + 1]);
                context.lineTo(strip[k + 6], strip[k + 7]);
                context.stroke();
            }
        }
    }
    if (frame.colourBar) drawColourBar(context, frame.colourBar);
    if (!page.firstPicture) page.firstPicture = performance.now();  // since the page began to load
}

// The medians of a tick and of drawing its picture, in milliseconds, over
// `ticks` ticks of the scene in text (the standard box without one).
function benchmark(text, ticks) {
    if (text) openText(text, "benchmark.toml", "");
    else openStandard();
    page.running = false;
    page.run.step(3);
    const stepping = [], drawing = [];
    for (let k = 0; k < ticks; ++k) {
        const start = performance.now();
        page.run.step(1);
        const stepped = performance.now();
        draw();
        stepping.push(stepped - start);
        drawing.push(performance.now() - stepped);
    }
    const median = (list) => list.sort((a, b) => a - b)[Math.floor(list.length / 2)];
    return { tick: median(stepping), draw: median(drawing) };
}

// ---- what the run measures -------------------------------------------------------------

function report() {
    const line = page.run.tickLine();
    const parts = [`tick ${line.tick}`, `${line.iterations} iterations`];
    if (line.forces && line.forces.length && Number.isFinite(line.forces[0][0]))
        parts.push(`drag ${line.forces[0][0].toPrecision(4)}`, `lift ${(-line.forces[0][1]).toPrecision(4)}`);
    if (line.nusselt)
        for (const [side, value] of Object.entries(line.nusselt)) parts.push(`Nu ${side} ${value.toPrecision(4)}`);
    if (line.probes)
        line.probes.forEach((p, k) => parts.push(`probe ${k + 1}: u ${p.u.toPrecision(3)}, v ${p.v.toPrecision(3)}, p ${p.p.toPrecision(3)}`));
    if ("liquid_area" in line) parts.push(`liquid area ${line.liquid_area.toPrecision(5)}`);
    if (page.options.view !== "flow") parts.push(page.options.view);
    if (!page.running) parts.push("paused");
    $("measures").textContent = parts.join(" · ");
    // The lift where a solid feels a force, else the kinetic energy.
    const lift = line.forces && line.forces.length && Number.isFinite(line.forces[0][1]);
    page.plot.push(lift ? -line.forces[0][1] : line.kinetic_energy);
    if (page.plot.length > plotLength) page.plot.shift();
    drawPlot(lift ? "lift" : "kinetic energy");
}

function drawPlot(label) {
    const canvas = $("plot"), context = canvas.getContext("2d");
    context.clearRect(0, 0, canvas.width, canvas.height);
    context.fillStyle = "#888";
    context.font = "11px system-ui, sans-serif";
    context.fillText(label, 4, 12);
    const values = page.plot.filter(Number.isFinite);
    if (values.length < 2) return;
    const low = Math.min(...values), high = Math.max(...values), span = high - low || 1;
    context.strokeStyle = "#7bd";
    context.beginPath();
    page.plot.forEach((value, k) => {
        const x = (k / (plotLength - 1)) * canvas.width;
        const y = canvas.height - 4 - ((value - low) / span) * (canvas.height - 20);
        k === 0 ? context.moveTo(x, y) : context.lineTo(x, y);
    });
    context.stroke();
}

// ---- settings -----------------------------------------------------------------------------

function buildSettings() {
    const form = $("settings");
    form.replaceChildren();
    if (!page.run.touchable()) return;
    for (const setting of page.run.settings()) {
        const label = document.createElement("label");
        label.textContent = setting.label;
        const input = document.createElement("input");
        input.name = setting.path;
        input.value = setting.text;
        input.addEventListener("change", () => {
            const problem = page.run.changeSetting(setting.path, input.value);
            if (problem) {
                showProblem(problem);
                input.value = setting.text;
                return;
            }
            showProblem("");
            say(`${setting.path} = ${input.value} from tick ${page.run.tickLine().tick}`);
            buildSettings();
        });
        label.append(input);
        form.append(label);
    }
}

// ---- the hand ------------------------------------------------------------------------------

function sceneAt(event) {
    const box = $("picture").getBoundingClientRect();
    const dx = page.run.cellSize(), cell = page.frame ? page.frame.cellSize : 1;
    return { x: ((event.clientX - box.left) / cell) * dx, y: ((event.clientY - box.top) / cell) * dx };
}

function drawWall(at) {
    const dx = page.run.cellSize();
    if (page.run.setSolid(Math.floor(at.x / dx), Math.floor(at.y / dx), page.drag === "draw")) draw();
}

function handFollows() {
    const picture = $("picture");
    picture.addEventListener("contextmenu", (event) => event.preventDefault());
    picture.addEventListener("pointerdown", (event) => {
        if (!page.run.touchable()) return;
        picture.setPointerCapture(event.pointerId);
        page.pointer = page.lastPointer = sceneAt(event);
        if (event.button === 2) page.drag = event.shiftKey ? "erase" : "draw";
        else page.drag = event.ctrlKey || event.metaKey ? "pour" : "push";
        if (page.drag === "draw" || page.drag === "erase") drawWall(page.pointer);
        event.preventDefault();
    });
    picture.addEventListener("pointermove", (event) => {
        if (!page.drag) return;
        page.pointer = sceneAt(event);
        if (page.drag === "draw" || page.drag === "erase") drawWall(page.pointer);
    });
    for (const type of ["pointerup", "pointercancel"])
        picture.addEventListener(type, () => { page.drag = null; });
}

// What the pointer did goes to the next tick, as in the window.
function handToRun() {
    if (!page.drag || !page.pointer) return;
    const dt = page.run.timeStep(), at = page.pointer, before = page.lastPointer;
    const vx = (at.x - before.x) / dt, vy = (at.y - before.y) / dt;
    if (page.drag === "push") page.run.push(at.x, at.y, vx, vy);
    else if (page.drag === "pour") page.run.pour(at.x, at.y, vx, vy);
    page.lastPointer = at;
}

// ---- buttons and keys ------------------------------------------------------------------------

function download(blob, name) {
    const anchor = document.createElement("a");
    anchor.href = URL.createObjectURL(blob);
    anchor.download = name;
    anchor.click();
    setTimeout(() => URL.revokeObjectURL(anchor.href), 1000);
}

function syncButtons() {
    $("run").firstChild.textContent = page.running ? "Pause " : "Run ";
    $("view").firstChild.textContent = `View: ${page.options.view} `;
    for (const id of ["arrows", "grid", "particles", "dye", "temperature"])
        $(id).setAttribute("aria-pressed", String(page.options[id]));
    $("tracers").setAttribute("aria-pressed", String(page.tracers));
}

const actions = {
    run: () => { page.running = !page.running; },
    step: () => { page.running = false; tick(); },
    restart: () => { page.run.restart(); page.plot = []; },
    view: () => {
        const views = page.run.views();
        page.options.view = views[(views.indexOf(page.options.view) + 1) % views.length];
    },
    arrows: () => { page.options.arrows = !page.options.arrows; },
    grid: () => { page.options.grid = !page.options.grid; },
    tracers: () => { page.tracers = !page.tracers; },
    dye: () => { page.options.dye = !page.options.dye; },
    temperature: () => { page.options.temperature = !page.options.temperature; },
    particles: () => { page.options.particles = !page.options.particles; },
    "picture-download": () => $("picture").toBlob((blob) => download(blob, `flowbox-tick-${page.run.tickLine().tick}.png`)),
    "run-download": () => download(new Blob([page.run.save()]), `flowbox-tick-${page.run.tickLine().tick}.state`),
    "scene-download": () => {
        const text = page.run.sceneText();
        if (!text) return showProblem(page.run.problem());
        download(new Blob([text], { type: "text/plain" }), (page.sceneName || "scene") + ".toml");
    },
};

function act(name) {
    if ($(name) && $(name).disabled) return;
    actions[name]();
    syncButtons();
    draw();
    report();
}

function wire() {
    for (const name of Object.keys(actions)) $(name).addEventListener("click", () => act(name));
    document.addEventListener("keydown", (event) => {
        if (event.target instanceof Element && event.target.closest("textarea, input, select")) return;
        if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === "s") {
            event.preventDefault();
            act("run-download");
            return;
        }
        if (event.ctrlKey || event.metaKey || event.altKey) return;
        const button = document.querySelector(`button[data-key="${CSS.escape(event.key.toLowerCase())}"]`);
        if (!button) return;
        event.preventDefault();
        act(button.id);
    });
    const chooser = $("scene");
    chooser.append(new Option("the standard box", ""));
    for (const name of shippedScenes()) chooser.append(new Option(name, name));
    chooser.addEventListener("change", () => {
        if (openShipped(chooser.value)) history.replaceState(null, "", chooser.value ? "#scene=" + chooser.value : "#");
    });
    $("run-toml").addEventListener("click", () => openText($("toml").value, "the page's scene", ""));
    $("open").addEventListener("click", () => $("file").click());
    $("file").addEventListener("change", () => $("file").files[0] && openFile($("file").files[0]));
    document.addEventListener("dragover", (event) => event.preventDefault());
    document.addEventListener("drop", (event) => {
        event.preventDefault();
        if (event.dataTransfer.files.length === 1) openFile(event.dataTransfer.files[0]);
    });
    $("share").addEventListener("click", async () => {
        const address = await link();
        history.replaceState(null, "", address);
        try {
            await navigator.clipboard.writeText(address);
            say("the link is copied");
        } catch {
            say(address);
        }
    });
    window.addEventListener("resize", () => { fitCanvas(); draw(); });
    handFollows();
}

function tick() {
    handToRun();
    page.run.step(1);
    draw();
    report();
}

createFlowbox().then(async (module) => {
    page.module = module;
    page.palette = module.palette();
    page.run = new module.Run();
    wire();
    fitCanvas();
    await openLink();
    syncButtons();
    setInterval(() => { if (page.running) tick(); }, tickMilliseconds);
    window.flowboxPage = page;  // for the page's tests and benchmark
    window.flowboxBenchmark = benchmark;
    document.body.dataset.ready = "true";
});
