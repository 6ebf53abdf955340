#!/usr/bin/env python3
"""Menu latency, cold start, memory and idle CPU of the extension, with the starter set.

- menu: median round trip of {"op":"menu","kind":1} through `lemvora-finder --script`, against a
  request the extension answers without scanning (kind 2) in the same session;
- cold start: from starting the extension's process to its first menu;
- peak RSS of the extension process (VmHWM) after all of that;
- idle CPU: the extension's CPU time while it waits for a request, as a share of one core;
- a selection of 1,000 items: an action on a menu of 1,000 selected files of one folder (as many
  as a request line holds), against one on a single selected file, each making the document.

Run through bench/extension_bench.sh, which gives it a fake home.
Usage: extension_bench.py BUILD_DIR
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

build = sys.argv[1]
app = os.path.join(build, "Lemvora.app")
appex = os.path.join(app, "Contents/PlugIns/LemvoraMenu.appex")
extension = os.path.join(appex, "Contents/MacOS/LemvoraMenu")
finder = os.path.join(build, "tools/finder/lemvora-finder")
subprocess.run([os.path.join(build, "tools/catalog/lemvora-catalog"), "--seed", app],
               check=True, stdout=subprocess.DEVNULL)
target = tempfile.mkdtemp()
ROUNDS = 400


def round_trips(process, request, rounds):
    line = (json.dumps(request) + "\n").encode()
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        process.stdin.write(line)
        process.stdin.flush()
        answer = process.stdout.readline()
        times.append(time.perf_counter() - start)
        assert answer.startswith(b'{"menu"'), answer
    return times


host = subprocess.Popen([finder, "--script", "--extension", appex],
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
menu = {"op": "menu", "kind": 1, "target": target}
sidebar = {"op": "menu", "kind": 2, "target": target}
round_trips(host, menu, 50)  # warm up
menu_times, sidebar_times = [], []
for _ in range(4):  # interleaved, so both see the same machine
    menu_times += round_trips(host, menu, ROUNDS // 4)
    sidebar_times += round_trips(host, sidebar, ROUNDS // 4)
host.stdin.close()
host.wait()

cold = []
peak_kib = 0
for _ in range(30):
    start = time.perf_counter()
    ext = subprocess.Popen([extension], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    ext.stdin.write((json.dumps(menu) + "\n").encode())
    ext.stdin.flush()
    assert b'"ready"' in ext.stdout.readline()
    assert ext.stdout.readline().startswith(b'{"menu"')
    cold.append(time.perf_counter() - start)
    round_trips(ext, menu, 50)
    with open(f"/proc/{ext.pid}/status") as status:
        for field in status:
            if field.startswith("VmHWM:"):
                peak_kib = max(peak_kib, int(field.split()[1]))
    ext.stdin.close()
    ext.wait()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime + stime


IDLE_SECONDS = 3
ext = subprocess.Popen([extension], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
assert b'"ready"' in ext.stdout.readline()
idle_start, idle_cpu = time.perf_counter(), cpu_seconds(ext.pid)
time.sleep(IDLE_SECONDS)
idle_share = (cpu_seconds(ext.pid) - idle_cpu) / (time.perf_counter() - idle_start)
ext.stdin.close()
ext.wait()

def action_times(selected, rounds):
    """Median time of a menu on `selected` and the action chosen from it (the document removed)."""
    host = subprocess.Popen([finder, "--script", "--extension", appex],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    place = {"target": target, "selected": selected}
    lines = (json.dumps({"op": "menu", "kind": 0, **place}, ensure_ascii=False) + "\n" +
             json.dumps({"op": "send", "selector": "doc00:", **place}, ensure_ascii=False) +
             "\n").encode()
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        host.stdin.write(lines)
        host.stdin.flush()
        assert host.stdout.readline().startswith(b'{"menu"')
        made = json.loads(host.stdout.readline())["urls"][0]
        assert host.stdout.readline() == b'{"done":true}\n'
        times.append(time.perf_counter() - start)
        os.remove(made)
    host.stdin.close()
    host.wait()
    return times


items = os.path.join(target, "seçim")
os.mkdir(items)
many = [os.path.join(items, f"b{i:04d}.txt") for i in range(1000)]
for path in many:
    open(path, "w").close()
one_times, many_times = [], []
for _ in range(4):
    one_times += action_times(many[:1], 25)
    many_times += action_times(many, 25)

m, s = statistics.median(menu_times) * 1e3, statistics.median(sidebar_times) * 1e3
print(f"menu request (kind 1, starter set), median: {m:.3f} ms   target <= 5 ms")
print(f"request without a scan (kind 2), median:    {s:.3f} ms")
print(f"ratio menu / no-scan:                       {m / s:.2f}     target <= 3")
print(f"cold start to first menu, median:           {statistics.median(cold) * 1e3:.2f} ms  target <= 50 ms")
print(f"extension peak RSS:                         {peak_kib / 1024:.1f} MiB  target <= 16 MiB")
print(f"idle extension CPU over {IDLE_SECONDS} s:                {idle_share * 100:.1f} %    target <= 1 % of a core")
o, n = statistics.median(one_times) * 1e3, statistics.median(many_times) * 1e3
print(f"menu and action on one selected file:       {o:.3f} ms")
print(f"menu and action on 1,000 selected files:    {n:.3f} ms  ratio {n / o:.2f}")
