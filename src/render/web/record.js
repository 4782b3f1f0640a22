// Plays the movie one frame per step on the stepped clock and sends every
// frame's pixels, and the sound the player mixed meanwhile, to the recorder
// that served this page. The recorder answers a frame only when its encoder
// has taken it, so the page never runs ahead of the encoder.
(function () {
    "use strict";
    const clock = window.TarnwickClock;

    async function post(path, body, type) {
        const response = await fetch(path, {
            method: "POST",
            body,
            headers: { "Content-Type": type || "application/octet-stream" },
        });
        if (!response.ok)
            throw new Error(path + ": " + response.status);
        return response.text();
    }

    function report(kind, fields) {
        return post("event", JSON.stringify(Object.assign({ kind }, fields)), "application/json");
    }

    function realDelay(ms) {
        // Before stepping starts setTimeout is the real one.
        return new Promise((resolve) => window.setTimeout(resolve, ms));
    }

    // Sound scheduled by the player, as interleaved stereo float32, waiting
    // to go out with the next frame.
    const pendingAudio = [];
    let startMs = 0;

    clock.onAudio = (steppedSeconds, buffer) => {
        const frames = buffer.length;
        const left = buffer.getChannelData(0);
        const right = buffer.numberOfChannels > 1 ? buffer.getChannelData(1) : left;
        const ratio = clock.sampleRate / buffer.sampleRate;
        const count = Math.round(frames * ratio);
        const out = new Float32Array(count * 2);
        for (let i = 0; i < count; i++) {
            const j = Math.min(Math.floor(i / ratio), frames - 1);
            out[2 * i] = left[j];
            out[2 * i + 1] = right[j];
        }
        const at = Math.round((steppedSeconds - startMs / 1000) * clock.sampleRate);
        pendingAudio.push({ at, out });
    };

    // The sound waiting to go out, as parts of one request body, and their
    // places ("at,samples;...") for the query.
    function takeAudio() {
        const parts = [], places = [];
        while (pendingAudio.length > 0) {
            const { at, out } = pendingAudio.shift();
            let samples = out;
            let position = at;
            if (position < 0) {
                // Mixed before the first frame: only its later part is heard.
                samples = out.subarray(Math.min(-position * 2, out.length));
                position = 0;
            }
            if (samples.length > 0) {
                parts.push(samples);
                places.push(position + "," + samples.length / 2);
            }
        }
        return { parts, places: places.join(";") };
    }

    // One request a step: the frame's pixels, then the sound mixed since.
    function sendStep(n, pixels) {
        const audio = takeAudio();
        const body = pixels ? new Blob([pixels, ...audio.parts]) : new Blob(audio.parts);
        return post("frame?n=" + n + "&audio=" + audio.places + (pixels ? "" : "&pixels=0"), body);
    }

    function pressAt(target, x, y) {
        const rect = target.getBoundingClientRect();
        const common = {
            bubbles: true, cancelable: true, composed: true,
            clientX: rect.left + x, clientY: rect.top + y,
            pointerId: 1, pointerType: "mouse", isPrimary: true, button: 0,
        };
        target.dispatchEvent(new PointerEvent("pointermove", Object.assign({ buttons: 0 }, common)));
        target.dispatchEvent(new PointerEvent("pointerdown", Object.assign({ buttons: 1 }, common)));
        target.dispatchEvent(new PointerEvent("pointerup", Object.assign({ buttons: 0 }, common)));
    }

    function sameFrame(a, b) {
        if (!a || a.length !== b.length)
            return false;
        const wa = new Uint32Array(a.buffer, a.byteOffset, a.length >> 2);
        const wb = new Uint32Array(b.buffer, b.byteOffset, b.length >> 2);
        for (let i = 0; i < wa.length; i += 7) {
            if (wa[i] !== wb[i])
                return false;
        }
        return true;
    }

    // Which renderer the player drew with: a canvas that gives a 2D
    // context was drawn by the canvas renderer.
    function rendererOf(canvas) {
        try {
            return canvas.getContext("2d") ? "canvas" : "webgl";
        } catch (e) {
            return "webgl";
        }
    }

    async function main() {
        const config = await (await fetch("config.json")).json();
        const width = config.width, height = config.height;
        clock.sampleRate = config.sampleRate;
        const stage = document.getElementById("stage");
        stage.style.width = width + "px";
        stage.style.height = height + "px";

        const player = window.RufflePlayer.newest().createPlayer();
        stage.appendChild(player);
        const api = typeof player.ruffle === "function" ? player.ruffle() : player;
        const loaded = new Promise((resolve) => player.addEventListener("loadedmetadata", resolve));
        const options = {
            url: "movie.swf",
            autoplay: "on",
            unmuteOverlay: "hidden",
            splashScreen: false,
            preloader: false,
            letterbox: "off",
            contextMenu: "off",
            menu: false,
            preferredRenderer: config.renderer,
            scale: "exactfit",
            forceScale: true,
            quality: "high",
            allowNetworking: "none",
            openUrlMode: "deny",
            allowScriptAccess: false,
            warnOnUnsupportedContent: false,
            showSwfDownload: false,
            logLevel: "error",
            backgroundExecutionMode: "mainThread",
        };
        if (config.frameRate)
            options.frameRate = config.frameRate;
        await api.load(options);
        await loaded;

        // The player asks for its first animation frame once it runs. The
        // recorder's watchdog judges how long that may take.
        while (clock.pendingFrames() === 0)
            await realDelay(20);
        const canvas = player.shadowRoot && player.shadowRoot.querySelector("canvas");
        if (!canvas)
            throw new Error("the player made no canvas");
        const scratch = document.createElement("canvas");
        scratch.width = width;
        scratch.height = height;
        const context = scratch.getContext("2d", { willReadFrequently: true, alpha: false });

        const metadata = api.metadata || {};
        await report("ready", {
            frameRate: metadata.frameRate, width: metadata.width, height: metadata.height,
            numFrames: metadata.numFrames, actionScript3: !!metadata.isActionScript3,
            canvasWidth: canvas.width, canvasHeight: canvas.height, renderer: rendererOf(canvas),
        });

        // The player shows the movie's first frame after its first step, so
        // movie time 0 is one step after the clock's start. A hair more
        // than a whole step keeps rounding from ever leaving the player a
        // frame short.
        const frameMs = 1000 / config.frameRate;
        clock.start();
        startMs = clock.now() + frameMs;

        // Read the player's own canvas when it is a 2D one of the frame's
        // size; otherwise copy it onto one that is.
        const direct = canvas.width === width && canvas.height === height ? canvas.getContext("2d") : null;
        let previous = null, stillSteps = 0, presses = 0;
        let sending = Promise.resolve("");
        const buttons = config.buttons || [];
        // The recorder answers each frame "stop" once it has enough.
        let n = 0;
        for (; n < config.maxFrames; n++) {
            clock.advanceTo(startMs + n * frameMs + 0.01);
            let pixels;
            if (direct) {
                pixels = direct.getImageData(0, 0, width, height).data;
            } else {
                context.fillStyle = config.background;
                context.fillRect(0, 0, width, height);
                context.drawImage(canvas, 0, 0, width, height);
                pixels = context.getImageData(0, 0, width, height).data;
            }
            // The next frame is drawn while this one travels, but they go
            // out one after the other, in order.
            if ((await sending) === "stop")
                break;
            sending = sendStep(n, pixels);

            if (sameFrame(previous, pixels)) {
                stillSteps++;
            } else {
                stillSteps = 0;
            }
            previous = pixels;
            if (presses < config.maxPresses && buttons.length > 0 && stillSteps >= config.stillFrames) {
                const button = buttons[Math.min(presses, buttons.length - 1)];
                pressAt(canvas, button.x, button.y);
                presses++;
                stillSteps = 0;
                await report("press", { frame: n, x: button.x, y: button.y });
            }
        }
        await sending;
        // The sound of the last frames is mixed a few steps after them.
        for (let i = 1; i <= config.flushSteps; i++) {
            clock.advanceTo(startMs + (n + i) * frameMs + 0.01);
            await sendStep(n, null);
        }
        await report("done", { frames: n });
    }

    window.addEventListener("error", (e) => {
        report("log", { message: String(e.message || e) }).catch(() => {});
    });
    main().catch((e) => {
        report("error", { message: String((e && e.message) || e) }).catch(() => {});
    });
})();
