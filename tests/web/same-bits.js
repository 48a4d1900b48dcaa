// The page's simulation against flowbox-headless: every shipped scene (and
// the standard box) run for some ticks gives the same fields to the last bit
// and the same tick line.
//   node tests/web/same-bits.js PAGE_FOLDER HEADLESS SCENES_FOLDER
"use strict";
const { execFileSync } = require("child_process");
const fs = require("fs");
const path = require("path");

const [page, headless, scenes] = process.argv.slice(2);
const createFlowbox = require(path.resolve(page, "flowbox.js"));

function dumpOf(args) {
    const lines = execFileSync(headless, [...args, "--dump"], { encoding: "utf8", maxBuffer: 1 << 28 })
        .trim().split("\n").map((line) => JSON.parse(line));
    return { line: lines[lines.length - 2], dump: lines[lines.length - 1] };
}

// Equal to the last bit, numbers inside lists and objects too.
function same(a, b) {
    if (typeof a === "number" || typeof b === "number")
        return Object.is(a, b);
    if (a === null || b === null || typeof a !== "object" || typeof b !== "object")
        return a === b;
    const keys = Object.keys(a);
    return keys.length === Object.keys(b).length && keys.every((key) => same(a[key], b[key]));
}

function differences(name, ours, theirs) {
    if (ours.length !== theirs.length)
        return [`${name}: ${ours.length} values against ${theirs.length}`];
    for (let k = 0; k < ours.length; ++k)
        if (!Object.is(ours[k], theirs[k]))
            return [`${name}[${k}]: ${ours[k]} against ${theirs[k]}`];
    return [];
}

createFlowbox().then((flowbox) => {
    const cases = [{ scene: null, ticks: 300 }];
    for (const file of fs.readdirSync(scenes).filter((f) => f.endsWith(".toml")).sort())
        cases.push({ scene: file.replace(/\.toml$/, ""), ticks: file.startsWith("dam-break") ? 60 : 25 });
    let failed = 0;
    for (const { scene, ticks } of cases) {
        const run = new flowbox.Run();
        if (scene) {
            const problem = run.open(fs.readFileSync(path.join(scenes, scene + ".toml"), "utf8"), scene + ".toml");
            if (problem) throw new Error(problem);
        }
        run.step(ticks);
        const fields = run.fields();
        const line = run.tickLine();
        const { line: expectedLine, dump } = dumpOf([...(scene ? ["--scene", scene] : []), "--ticks", String(ticks)]);
        const found = [];
        for (const name of ["u", "v", "pressure", "temperature"])
            if (name in dump || name in fields)
                found.push(...differences(name, Array.from(fields[name] || []), dump[name] || []));
        // The page gives every scene dye for a hand to pour; where a band pours it, the same dye.
        if (dump.dye)
            ["r", "g", "b"].forEach((c, k) =>
                found.push(...differences("dye " + c, Array.from(fields["dye_" + c] || []), dump.dye[k])));
        // As the program writes it: NaN, which JSON lacks, as null.
        const written = JSON.parse(JSON.stringify(line));
        for (const key of Object.keys(written))
            if (!same(written[key], expectedLine[key]))
                found.push(`tick line ${key}: ${JSON.stringify(written[key])} against ${JSON.stringify(expectedLine[key])}`);
        run.delete();
        console.log(`${scene || "the standard box"}, ${ticks} ticks: ${found.length ? found.join("; ") : "the same bits"}`);
        if (found.length) ++failed;
    }
    if (failed) {
        console.error(`same-bits: ${failed} of ${cases.length} runs differ from flowbox-headless`);
        process.exit(1);
    }
}).catch((error) => {
    console.error(`same-bits: ${error.stack || error}`);
    process.exit(1);
});
