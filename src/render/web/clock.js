// Takes over the page's clock so that the player advances only when the
// recorder says so, exactly one movie frame at a time, however long a frame
// takes to draw. Time stands still from the moment this script runs: the
// player, left alone, would otherwise run its first frames in real time
// while it loads. Timers run on the real clock until stepping starts (so
// that loading can finish), and then on the stepped one, in
// TarnwickClock.advance().
//
// The player's sound goes to a stand-in audio context: its buffers are real
// AudioBuffers (made by an OfflineAudioContext), but instead of being played
// they are handed to TarnwickClock.onAudio at the moment, on the stepped
// clock, at which the player scheduled them. "Ended" fires when the stepped
// clock passes a buffer's end, which is what makes the player mix the next.
(function () {
    "use strict";
    const realNow = performance.now.bind(performance);
    const realDateNow = Date.now.bind(Date);
    const realSetTimeout = window.setTimeout.bind(window);
    const realClearTimeout = window.clearTimeout.bind(window);
    const realRaf = window.requestAnimationFrame.bind(window);
    const realCancelRaf = window.cancelAnimationFrame.bind(window);

    let stepping = false;
    // The player takes its first frame time as if the clock had been
    // running since 0, so starting at 0 keeps its first step empty.
    let nowMs = 0;            // the page's performance.now()
    const dateOffset = realDateNow() - nowMs;
    let nextId = 1;
    const timers = new Map(); // id -> {at, fn, args, every}
    let rafs = new Map();     // id -> callback
    const sources = [];       // playing stand-in buffer sources

    const clock = {
        stepping: () => stepping,
        now: () => nowMs,
        pendingFrames: () => rafs.size,
        onAudio: null,        // (stepped-clock seconds, AudioBuffer) => void
        sampleRate: 44100,
        start() {
            stepping = true;
        },
        // Moves the clock to `targetMs`, running on the way, in time order,
        // the timers that fall due and the sounds that end (so that the
        // player mixes its next sound buffer exactly when the last one
        // ends, and the sound has no gaps), then the animation frames.
        advanceTo(targetMs) {
            for (;;) {
                let at = Infinity, run = null;
                for (const [id, t] of timers) {
                    if (t.at < at) {
                        at = t.at;
                        run = () => {
                            if (t.every !== null)
                                t.at += Math.max(t.every, 1);
                            else
                                timers.delete(id);
                            call(t.fn, t.args);
                        };
                    }
                }
                for (const source of sources) {
                    const end = (audioBase + source.endsAt) * 1000;
                    if (end < at) {
                        at = end;
                        run = () => {
                            sources.splice(sources.indexOf(source), 1);
                            call(source.onended, [{ target: source }]);
                        };
                    }
                }
                if (run === null || at > targetMs)
                    break;
                nowMs = Math.max(nowMs, at);
                run();
            }
            nowMs = Math.max(nowMs, targetMs);
            const callbacks = rafs;
            rafs = new Map();
            for (const fn of callbacks.values())
                call(fn, [nowMs]);
        },
    };
    window.TarnwickClock = clock;

    function call(fn, args) {
        try {
            if (typeof fn === "function")
                fn(...(args || []));
        } catch (e) {
            console.error(e);
        }
    }

    performance.now = () => nowMs;
    const RealDate = Date;
    class SteppedDate extends RealDate {
        constructor(...args) {
            if (args.length === 0)
                super(Math.floor(nowMs + dateOffset));
            else
                super(...args);
        }
        static now() { return Math.floor(nowMs + dateOffset); }
    }
    window.Date = SteppedDate;

    window.requestAnimationFrame = (fn) => {
        const id = nextId++;
        rafs.set(id, fn);
        return id;
    };
    window.cancelAnimationFrame = (id) => { rafs.delete(id); };

    function addTimer(fn, delay, args, repeat) {
        if (!stepping) {
            return repeat ? window.setIntervalReal(fn, delay, ...args) : realSetTimeout(fn, delay, ...args);
        }
        const id = nextId++;
        const d = Math.max(Number(delay) || 0, 0);
        timers.set(id, { at: nowMs + d, fn, args, every: repeat ? d : null });
        return id;
    }
    window.setIntervalReal = window.setInterval.bind(window);
    const realClearInterval = window.clearInterval.bind(window);
    window.setTimeout = (fn, delay, ...args) => addTimer(fn, delay, args, false);
    window.setInterval = (fn, delay, ...args) => addTimer(fn, delay, args, true);
    window.clearTimeout = (id) => { if (!timers.delete(id)) realClearTimeout(id); };
    window.clearInterval = (id) => { if (!timers.delete(id)) realClearInterval(id); };

    // --- Sound ---------------------------------------------------------
    let audioBase = 0;        // stepped-clock seconds at which audio time 0 is

    class StandInSource {
        constructor(context) {
            this.context = context;
            this.buffer = null;
            this.onended = null;
            this.loop = false;
            this.playbackRate = { value: 1 };
            this.endsAt = Infinity;
        }
        connect(node) { return node; }
        disconnect() {}
        start(when) {
            const at = Math.max(Number(when) || 0, this.context.currentTime);
            if (this.buffer) {
                this.endsAt = at + this.buffer.duration;
                if (clock.onAudio)
                    clock.onAudio(audioBase + at, this.buffer);
            } else {
                this.endsAt = at;
            }
            sources.push(this);
        }
        stop() {
            const i = sources.indexOf(this);
            if (i >= 0)
                sources.splice(i, 1);
        }
        addEventListener(type, fn) { if (type === "ended") this.onended = fn; }
        removeEventListener() {}
    }

    class StandInAudioContext {
        constructor() {
            this.offline = new OfflineAudioContext(2, 1, clock.sampleRate);
            this.sampleRate = clock.sampleRate;
            this.destination = { channelCount: 2 };
            this.state = "running";
            this.onstatechange = null;
            audioBase = performance.now() / 1000;
        }
        get currentTime() {
            return Math.max(performance.now() / 1000 - audioBase, 0);
        }
        get baseLatency() { return 0; }
        get outputLatency() { return 0; }
        createBuffer(channels, length, rate) { return this.offline.createBuffer(channels, length, rate); }
        createBufferSource() { return new StandInSource(this); }
        createGain() { return { gain: { value: 1 }, connect: (n) => n, disconnect() {} }; }
        resume() { this.state = "running"; return Promise.resolve(); }
        suspend() { return Promise.resolve(); }
        close() { this.state = "closed"; return Promise.resolve(); }
        decodeAudioData(data, ok, fail) { return this.offline.decodeAudioData(data, ok, fail); }
        addEventListener() {}
        removeEventListener() {}
    }
    window.AudioContext = StandInAudioContext;
    window.webkitAudioContext = StandInAudioContext;
})();
