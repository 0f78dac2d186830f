// The page of ioxd: every box as its model's panel, live from the events, with the firmware update.
// Each box is drawn once for its model; the events then only recolour and re-enable what is there.
"use strict";

const models = new Map();  // model name: its row of the model table (GET /api/models)
const shown = new Map();   // serial number: {box, model, parts} as drawn
const boxesNode = document.getElementById("boxes");
const noneNode = document.getElementById("none");
const connection = document.getElementById("connection");

// A box whose model the table does not know gets what any box can have, as the daemon assumes.
const lineNames = (letter, lines) => Array.from({length: lines}, (_, bit) => letter + bit);
const anyBox = {name: "", switches: "relays", relays: 8, A: {lines: 8, fixed: false, input: false},
                B: {lines: 8, fixed: false, input: false}, serial_lines: ["B0", "B1", "B2"],
                serial_line_choices: [...lineNames("A", 8), ...lineNames("B", 8)]};

// An element with its properties (attributes for names with a dash) and children.
function el(tag, props = {}, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(props)) {
        if (key.includes("-"))
            node.setAttribute(key, value);
        else
            node[key] = value;
    }
    node.append(...children.filter((child) => child !== null && child !== undefined));
    return node;
}

// POSTs to the box's command path; gives {ok, json} or {ok: false, reason} with the daemon's reason.
async function post(serial, path, body, type = "text/plain") {
    let response;
    try {
        response = await fetch(`/api/boxes/${encodeURIComponent(serial)}/${path}`,
                               {method: "POST", body, headers: {"Content-Type": type}});
    } catch (error) {
        return {ok: false, reason: "ioxd did not answer"};
    }
    const json = await response.json().catch(() => null);
    if (response.ok)
        return {ok: true, json};
    return {ok: false, reason: json && json.reason ? json.reason : `${response.status} ${response.statusText}`};
}

// Sends a command and shows its refusal in `reason`, beside the control; true when carried out.
async function command(serial, path, body, reason) {
    reason.textContent = "";
    const result = await post(serial, path, body);
    if (!result.ok)
        reason.textContent = result.reason;
    return result.ok;
}

function group(title, ...children) {
    return el("fieldset", {className: "group"}, el("legend", {textContent: title}), ...children);
}

function field(caption, control) {
    return el("label", {}, el("span", {textContent: caption}), control);
}

function choice(options, selected) {
    return el("select", {}, ...options.map((name) => el("option", {value: name, textContent: name,
                                                                    selected: name === selected})));
}

// A status square that is also the switch of an output: #00FF00 high, NO or on, #FF8080 low, NC or off.
function square(caption, label, onClick) {
    const button = el("button", {type: "button", className: "square", textContent: caption,
                                 "aria-label": label, "aria-pressed": "false"});
    button.addEventListener("click", onClick);
    return button;
}

function drawSwitches(serial, model, parts) {
    const relays = model.switches === "relays";
    const reason = el("output", {className: "reason"});
    parts.switches = Array.from({length: model.relays}, (_, n) => {
        const caption = relays ? String(n) : `Out-${n + 1}`;  // as the panels have them
        return square(caption, relays ? `Relay ${n}` : caption, () =>
            command(serial, `relay/${n}`, bit(shown.get(serial).box.relays, n) ? "OFF" : "ON", reason));
    });
    return group(relays ? "Relays" : "24 V outputs", el("div", {className: "squares"}, ...parts.switches), reason);
}

function drawPort(serial, letter, layout, parts) {
    const path = `port/${letter.toLowerCase()}`;
    const reason = el("output", {className: "reason"});
    parts.lines[letter] = lineNames(letter, layout.lines).map((name, n) =>
        square(String(n), `Line ${name}`, () =>
            command(serial, `${path}/${n}`, bit(shown.get(serial).box[letter], n) ? "OFF" : "ON", reason)));
    let direction;
    if (layout.fixed) {
        direction = el("p", {className: "direction", textContent: `Direction: ${layout.input ? "input" : "output"}`});
    } else {
        parts.directions[letter] = ["output", "input"].map((value) => {
            const radio = el("input", {type: "radio", name: `direction-${serial}-${letter}`, value});
            radio.addEventListener("change", async () => {
                if (!await command(serial, `${path}/direction`, value, reason))
                    update(shown.get(serial).box);  // back to the direction the box has
            });
            return radio;
        });
        direction = el("fieldset", {className: "direction"}, el("legend", {textContent: "Direction"}),
                       ...parts.directions[letter].map((radio) => el("label", {}, radio, ` ${radio.value}`)));
    }
    return group(`Port ${letter}`, direction, el("div", {className: "squares"}, ...parts.lines[letter]), reason);
}

// A form whose submission sends one command, its refusal shown at its end.
function commandForm(title, serial, path, controls, body, button) {
    const reason = el("output", {className: "reason"});
    const form = el("form", {}, group(title, el("div", {className: "row"}, ...controls,
                                                    el("button", {type: "submit", textContent: button})), reason));
    form.addEventListener("submit", (event) => {
        event.preventDefault();
        command(serial, path, body(), reason);
    });
    return form;
}

function drawSerial(serial, model) {
    const word = el("input", {type: "text", inputMode: "numeric", autocomplete: "off", size: 12, value: "101011"});
    const lines = model.serial_lines.map((line) => choice(model.serial_line_choices, line));
    const captions = ["Clock", "Data", "Latch"];
    return commandForm("Serial word", serial, "spi",
                       [field("Word (MSB first)", word), ...lines.map((list, n) => field(captions[n], list))],
                       () => JSON.stringify({word: word.value.trim(), clock: lines[0].value, data: lines[1].value,
                                             latch: lines[2].value}), "Send");
}

function drawPulse(serial, model) {
    const line = choice(model.serial_line_choices, model.serial_line_choices[0]);
    const ms = el("input", {type: "number", inputMode: "numeric", value: "5", className: "number"});
    const width = el("input", {type: "number", inputMode: "numeric", value: "10", className: "number"});
    return [commandForm("Pulse", serial, "pulse", [field("Line", line), field("Length (ms)", ms)],
                        () => JSON.stringify({line: line.value, ms: ms.value === "" ? null : Number(ms.value)}), "Pulse"),
            commandForm("Pulse width", serial, "pulse-width", [field("Width (µs)", width)], () => width.value, "Set")];
}

function drawFirmware(serial, parts) {
    const file = el("input", {type: "file", accept: ".hex"});
    parts.progress = el("progress", {max: 1, value: 0, hidden: true});
    parts.phase = el("output", {className: "outcome"});
    const outcome = el("output", {className: "outcome"});
    const form = el("form", {className: "firmware"},
                    group("Firmware update", el("div", {className: "row"}, field("Image file", file),
                                                el("button", {type: "submit", textContent: "Write"})),
                          parts.progress, parts.phase, outcome));
    form.addEventListener("submit", async (event) => {
        event.preventDefault();
        const image = file.files[0];
        const show = (text, refused) => {
            outcome.textContent = text;
            outcome.classList.toggle("reason", refused);
        };
        if (!image || image.size > 4 << 20)
            return show(image ? "the file is larger than 4 MiB" : "choose an image file first", true);
        show(`sending ${image.name}`, false);
        parts.phase.textContent = "";
        parts.progress.value = 0;
        parts.progress.hidden = false;
        const result = await post(serial, `firmware?name=${encodeURIComponent(image.name)}`, image,
                                  "application/octet-stream");
        parts.progress.hidden = !result.ok;
        show(result.ok ? (result.json && result.json.outcome) || "updated" : result.reason, !result.ok);
    });
    return form;
}

// The box's section, drawn for its model (only its heading until the box has said which it is).
function draw(box) {
    const model = box.model ? models.get(box.model) || anyBox : null;
    const parts = {switches: [], lines: {A: [], B: []}, directions: {}};
    parts.title = el("h2", {id: `box-${box.serial}`});
    parts.facts = el("p", {className: "facts"});
    parts.section = el("section", {className: "box", "aria-labelledby": parts.title.id, "data-serial": box.serial},
                       parts.title, parts.facts);
    if (model) {
        parts.controls = el("fieldset", {className: "controls", "aria-labelledby": parts.title.id});
        if (model.relays)
            parts.controls.append(drawSwitches(box.serial, model, parts));
        for (const letter of ["A", "B"])
            if (model[letter].lines)
                parts.controls.append(drawPort(box.serial, letter, model[letter], parts));
        if (model.serial_line_choices.length)
            parts.controls.append(drawSerial(box.serial, model), ...drawPulse(box.serial, model));
        parts.controls.append(drawFirmware(box.serial, parts));
        parts.section.append(parts.controls);
    }
    const next = [...shown.keys()].filter((serial) => serial > box.serial).sort()[0];
    boxesNode.insertBefore(parts.section, next ? shown.get(next).parts.section : null);
    return {model: box.model, parts};
}

const bit = (byte, n) => byte === undefined ? undefined : (byte >> n) & 1;

function paint(button, value) {
    button.classList.toggle("on", value === 1);
    button.classList.toggle("off", value === 0);
    button.setAttribute("aria-pressed", value === 1 ? "true" : "false");
}

// Shows a box as the daemon sent it: the whole box JSON of GET /api/boxes or of an event.
function update(box) {
    let entry = shown.get(box.serial);
    if (entry && entry.model !== box.model) {
        entry.parts.section.remove();
        shown.delete(box.serial);
        entry = undefined;
    }
    if (!entry) {
        entry = draw(box);
        shown.set(box.serial, entry);
        noneNode.hidden = true;
    }
    entry.box = box;
    const parts = entry.parts;
    const state = box.updating ? "updating its firmware" : box.online ? "online" : "offline";
    parts.title.textContent = box.name || `Box ${box.serial}`;
    parts.facts.textContent = [box.model, `serial number ${box.serial}`,
                               box.firmware && `firmware ${box.firmware.revision}`, state].filter(Boolean).join(" · ");
    parts.section.classList.toggle("offline", !box.online);
    if (!parts.controls)
        return;
    parts.controls.disabled = !box.online || Boolean(box.updating);
    parts.switches.forEach((button, n) => paint(button, bit(box.relays, n)));
    const model = models.get(box.model) || anyBox;
    for (const letter of ["A", "B"]) {
        const direction = (box.directions && box.directions[letter]) ||
                          (model[letter].input ? "input" : "output");
        parts.lines[letter].forEach((button, n) => {
            paint(button, bit(box[letter], n));
            button.disabled = direction === "input";
        });
        for (const radio of parts.directions[letter] || [])
            radio.checked = radio.value === direction;
    }
}

// A firmware event: the update's phase and how many of the image's lines have gone to the box.
function firmwareProgress(event) {
    const entry = shown.get(event.serial);
    if (!entry || !entry.parts.progress)
        return;
    const {progress, phase} = entry.parts;
    progress.hidden = false;
    progress.max = Math.max(event.total, 1);
    progress.value = event.sent;
    phase.textContent = `${event.phase}: ${event.sent} of ${event.total} lines`;
}

async function start() {
    try {
        const [modelList, boxes] = await Promise.all(["/api/models", "/api/boxes"].map(async (url) => {
            const response = await fetch(url);
            if (!response.ok)
                throw new Error(`${url}: ${response.status} ${response.statusText}`);
            return response.json();
        }));
        modelList.forEach((model) => models.set(model.name, model));
        boxes.forEach(update);
        noneNode.textContent = "ioxd serves no box yet.";
    } catch (error) {
        connection.textContent = `ioxd did not answer: ${error.message}`;
        return;
    }
    // The stream first sends every box as it is, then each change; the browser reconnects by itself.
    const events = new EventSource("/api/events");
    const onBox = (event) => update(JSON.parse(event.data));
    events.addEventListener("state", onBox);
    events.addEventListener("availability", onBox);
    events.addEventListener("firmware", (event) => firmwareProgress(JSON.parse(event.data)));
    events.addEventListener("open", () => { connection.textContent = ""; });
    events.addEventListener("error", () => {
        connection.textContent = "The connection to ioxd is lost; trying again. What is shown may be out of date.";
    });
}

start();
