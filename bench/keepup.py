#!/usr/bin/env python3
"""Runs the real station offscreen against the simulator at several rates and prints, for
each, the sentences written, the lines logged, the lines missing, the median, p99 and
largest delay between a sentence's carriage return going out and its line appearing in
log.txt, the lines stamped with another second than the one the sentence went out in
(within 20 ms of a second's edge either second counts), and the station's CPU share.
Not a test: it takes real minutes."""
import os, re, shutil, signal, subprocess, sys, tempfile, time

def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime

def stamped_in_second(stamp, at):
    """True when the log line's HH:MM:SS is the local second of `at`, or the neighbouring
    one when `at` lies within 20 ms of their edge."""
    m = re.search(rb"(\d{1,2}):(\d{2}):(\d{2})", stamp)
    if not m:
        return False
    hms = tuple(int(g) for g in m.groups())
    return any(time.localtime(at + d)[3:6] == hms for d in (0.0, -0.02, 0.02))

def run(build, label, options, seconds):
    work = tempfile.mkdtemp(prefix="keepup-")
    try:
        shutil.copy(os.path.join(build, "ventholm"), work)
        with open(os.path.join(work, "settings.txt"), "w") as f:
            f.write("1\n")
        trace = os.path.join(work, "trace.txt")
        sim = subprocess.Popen([os.path.join(build, "tools/nodesim/ventholm-nodesim"), "--folder", work,
                                "--port", "1", "--seed", "7", "--trace", trace] + options,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        link = os.path.join(work, "com1")
        for _ in range(100):
            if os.path.lexists(link):
                break
            time.sleep(0.05)
        # The C locale's time form is HH:mm:ss, which the stamp check below reads.
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C")
        station = subprocess.Popen([os.path.join(work, "ventholm")], cwd=work, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        log = os.path.join(work, "log.txt")
        seen = []          # (time the line appeared, sentence, the line's stamp)
        pending = b""
        offset = 0
        hz = os.sysconf("SC_CLK_TCK")
        start = time.time()
        cpu_from = cpu_at = None
        sim_stopped = None

        def poll():
            nonlocal pending, offset
            try:
                with open(log, "rb") as f:
                    f.seek(offset)
                    data = f.read()
            except FileNotFoundError:
                return
            offset += len(data)
            now = time.time()
            pending += data
            *lines, pending = pending.split(b"\r\n")
            for line in lines:
                stamp, _, text = line.partition(b",")
                seen.append((now, text, stamp))

        while True:
            poll()
            now = time.time()
            if cpu_from is None and now - start >= 3:
                cpu_from, cpu_at = cpu_ticks(station.pid), now
            if sim_stopped is None and now - start >= seconds:
                cpu_share = 100.0 * (cpu_ticks(station.pid) - cpu_from) / hz / (now - cpu_at)
                sim.send_signal(signal.SIGTERM)
                sim.wait()
                sim_stopped = now
            if sim_stopped is not None and now - sim_stopped >= 1.5:
                break
            time.sleep(0.001)
        station.send_signal(signal.SIGTERM)
        code = station.wait()
        poll()

        sent = []
        with open(trace, "rb") as f:
            for entry in f.read().split(b"\n"):
                at, _, text = entry.partition(b" ")
                if text and not entry.startswith(b"#"):
                    sent.append((float(at), text))
        logged = [s for _, s, _ in seen]
        # Readings repeat: the log's first lines fix where the station started listening.
        first = 0
        while first + 6 <= len(sent) and [t for _, t in sent[first:first + 6]] != logged[:6]:
            first += 1
        if first + 6 > len(sent):
            print(f"{label:>10}: the log's first lines were never sent ({len(logged)} logged)")
            return
        missing, delays, other, j = 0, [], 0, 0
        for at, text in sent[first:]:
            k = j
            while k < len(seen) and seen[k][1] != text:
                k += 1
            if k == len(seen):
                missing += 1
                continue
            delays.append(seen[k][0] - at)
            if not stamped_in_second(seen[k][2], at):
                other += 1
            j = k + 1
        delays.sort()
        pick = lambda q: delays[min(len(delays) - 1, int(q * len(delays)))] * 1000 if delays else float("nan")
        errors = station.stderr.read().decode(errors="replace").strip().splitlines()
        notes = [e for e in errors if "XDG_RUNTIME_DIR" not in e]
        print(f"{label:>10}: {len(sent) - first:6d} written, {len(logged):6d} logged, {missing:5d} missing, "
              f"delay median {pick(0.5):6.1f} p99 {pick(0.99):6.1f} max {pick(1.0):7.1f} ms, "
              f"other second {other:5d} ({100.0 * other / max(1, len(delays)):4.1f}%), "
              f"CPU {cpu_share:5.2f}% of one core, exit {code}"
              + (f"; station said: {notes[0]}" if notes else ""))
    finally:
        for p in ("sim", "station"):
            proc = locals().get(p)
            if proc and proc.poll() is None:
                proc.kill()
        shutil.rmtree(work, ignore_errors=True)

def main():
    if len(sys.argv) < 2:
        sys.exit("usage: keepup.py BUILD [SECONDS]")
    build = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    for label, options in (("rate 1", ["--rate", "1"]), ("rate 0.5", ["--rate", "0.5"]),
                           ("rate 0.1", ["--rate", "0.1"]), ("flood", ["--flood"])):
        run(build, label, options, seconds)

main()
