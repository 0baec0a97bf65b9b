#!/usr/bin/env python3
"""Measures the console on the demo host (run by run-startup-bench, which lays the demo out and
starts this script in its place): start-up to a ready tree, heavy reads, peak memory, and
the benches of the largest inputs, each figure beside its reference and their ratio.

Times are medians of --repeat runs of wall-clock time: the console waits for child
processes, which processor time would not count. The machine may be shared, so the spread
(min..max) is printed too."""

import argparse
import codecs
import collections
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

PACKAGES_READ = "installed packages"  # description of the packages element's read
PACKAGES_QUERY = "-f=${binary:Package}"  # the argument only the packages read gives dpkg-query
# Plug-ins that make the frame every other one hangs in: the Services root, and the Mail group
# for the mail services.
ROOT_PLUGIN = "services"
MAIL_PLUGIN = "mail"
MAIL_SERVICES = ("dovecot", "exim")
OP_READ_HEAVY = 0x20


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", help="ignored (given by the demo launcher)")
    parser.add_argument("--build", required=True)
    parser.add_argument("--compare", metavar="BUILD",
                        help="another build (a copy of its host, lib and plugins directories "
                             "will do) whose start-up is measured beside this one's")
    parser.add_argument("--bridge", metavar="PROGRAM",
                        help="also measure the ready tree with the console's host work "
                             "done by this helper program (started directly: root)")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--skip-large", action="store_true",
                        help="leave out the benches of the largest inputs")
    parser.add_argument("--keep", action="store_true", help="keep the work directory")
    return parser.parse_args()


class Bench:
    def __init__(self, args, build=None):
        self.args = args
        self.build = build or args.build
        self.console = os.path.join(self.build, "host", "vell-admin-service")
        self.plugins = os.path.join(self.build, "plugins")
        self.work = tempfile.mkdtemp(prefix="vell-startup-bench-")
        self.env = dict(os.environ)
        self.env["QT_QPA_PLATFORM"] = "offscreen"
        self.env.pop("VELL_ADMIN_PLUGIN_PATH", None)
        # The build's own libraries, also for a copy of a build elsewhere.
        libraries = os.path.join(self.build, "lib")
        if os.path.isdir(libraries):
            self.env["LD_LIBRARY_PATH"] = libraries
        # What the console gives every child (and nothing else): the bare commands get it too.
        self.child_env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL": "C.UTF-8",
                          "LANG": "C.UTF-8"}
        self.counter = 0
        self.libraries = sorted(f for f in os.listdir(self.plugins) if f.endswith(".so"))

    # -- the console ---------------------------------------------------------------------

    def plugin_dir(self, names):
        """A directory holding links to the plug-ins whose short names are in names."""
        self.counter += 1
        path = os.path.join(self.work, "plugins-%d" % self.counter)
        os.mkdir(path)
        for library in self.libraries:
            if short_name(library) in names:
                os.symlink(os.path.join(self.plugins, library), os.path.join(path, library))
        return path

    def run(self, plugin_dir, script, trace=False, extra=()):
        """Runs the console in batch mode; returns the report, wall ms, peak RSS in KiB and,
        traced, the commands the console itself started (not their own children)."""
        self.counter += 1
        stem = os.path.join(self.work, "run-%d" % self.counter)
        with open(stem + ".steps", "w") as f:
            f.write(script)
        command = [self.console, "--plugin-dir", plugin_dir, "--batch", stem + ".steps", "--json"]
        command += list(extra)
        if trace:
            command = ["strace", "-ff", "-qq", "-ttt", "-s", "65536", "-o", stem + ".trace",
                       "-e", "trace=execve,clone,clone3,fork,vfork,openat"] + command
        with open(stem + ".json", "wb") as out, open(stem + ".err", "wb") as err:
            start = time.monotonic()
            process = subprocess.Popen(command, stdout=out, stderr=err, env=self.env)
            _, status, usage = os.wait4(process.pid, 0)
            wall = (time.monotonic() - start) * 1000
            process.returncode = os.waitstatus_to_exitcode(status)
        with open(stem + ".json", "rb") as f:
            data = f.read()
        try:
            report = json.loads(data) if data.strip() else {}
        except ValueError:
            sys.exit("console printed no report; see %s.err" % stem)
        run = Run(report, wall, usage.ru_maxrss, None, process.returncode)
        if trace:
            run.timed_commands, run.markers, run.ends = direct_commands(stem + ".trace",
                                                                        self.console)
            run.commands = [command for _, command in run.timed_commands]
        return run

    def repeated(self, plugin_dir, script):
        return [self.run(plugin_dir, script) for _ in range(self.args.repeat)]

    # -- bare commands -------------------------------------------------------------------

    def replay_waves(self, waves):
        """Median wall ms of running each wave's commands at once, wave after wave."""
        times = []
        for _ in range(self.args.repeat):
            start = time.monotonic()
            for wave in waves:
                processes = [subprocess.Popen(argv, executable=path, stdin=subprocess.DEVNULL,
                                              stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL, env=self.child_env)
                             for path, argv in wave]
                for process in processes:
                    process.wait()
            times.append((time.monotonic() - start) * 1000)
        return Figure(times)

    def replay(self, commands):
        """Median wall ms of running commands one after another, as the console would."""
        times = []
        for _ in range(self.args.repeat):
            start = time.monotonic()
            for path, argv in commands:
                subprocess.run(argv, executable=path, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=self.child_env)
            times.append((time.monotonic() - start) * 1000)
        return Figure(times)


class Run:
    def __init__(self, report, wall, rss, commands, code):
        self.timed_commands = []
        self.ends = []
        self.markers = {}
        self.report = report
        self.wall = wall
        self.rss = rss
        self.commands = commands
        self.code = code

    def step_tasks(self):
        """The tasks of each step: before the first step come those of the attaches."""
        tasks = self.report.get("tasks", [])
        steps = self.report.get("steps", [])
        first = len(tasks) - sum(step.get("tasks", 0) for step in steps)
        result = []
        for step in steps:
            result.append(tasks[first:first + step.get("tasks", 0)])
            first += step.get("tasks", 0)
        return result

    def ready_ms(self):
        """When the last state read of the first step ended, from the console's start."""
        tasks = [t for t in self.step_tasks()[0] if PACKAGES_READ not in t["description"]]
        return max(t["endedMs"] for t in tasks) if tasks else float("nan")

    def step_ms(self):
        """Duration of each step after the first: the end of its last task minus the previous
        step's (a step without tasks took no time)."""
        ends = []
        for tasks in self.step_tasks():
            end = max((t["endedMs"] for t in tasks), default=None)
            ends.append(end if end is not None else (ends[-1] if ends else 0))
        return [b - a for a, b in zip(ends, ends[1:])]


class Figure:
    def __init__(self, values):
        self.values = list(values)
        self.median = statistics.median(self.values) if self.values else float("nan")

    def __str__(self):
        if not self.values:
            return "n/a"
        if len(self.values) == 1:
            return "%8.1f ms" % self.median
        return "%8.1f ms (%.0f..%.0f)" % (self.median, min(self.values), max(self.values))


def short_name(library):
    match = re.match(r"liboxa-service-(.*)-plugin\.so$", library)
    return match.group(1) if match else library


def unescape(text):
    return codecs.escape_decode(text.encode("latin-1"))[0].decode("utf-8", "replace")


TIMESTAMP = re.compile(r"(\d+\.\d+) (.*)$")
STRING = re.compile(r'"((?:[^"\\]|\\.)*)"(\.\.\.)?')


def parse_execve(line):
    """(path, argv) of a successful execve line of strace, or None."""
    if not line.startswith("execve(") or not re.search(r"\) = 0$", line.rstrip()):
        return None
    match = STRING.match(line, len("execve("))
    if not match:
        return None
    path = unescape(match.group(1))
    position = line.index("[", match.end()) + 1
    argv = []
    while position < len(line):
        while position < len(line) and line[position] in ", ":
            position += 1
        if position >= len(line) or line[position] == "]":
            break
        match = STRING.match(line, position)
        if not match:
            break
        argv.append(unescape(match.group(1)))
        position = match.end()
    return path, argv


def direct_commands(stem, console):
    """Commands started by the console process itself, as (start time, (path, argv)) in order
    of their start, from the per-process files of strace -ff -ttt (children of its children are
    theirs, not the console's); the times at which the console opened a file named
    "marker-N.png", by N; and when each command's process ended, in the same order."""
    files = {}
    directory, base = os.path.split(stem)
    for name in os.listdir(directory):
        if name.startswith(base + "."):
            pid = int(name[len(base) + 1:])
            with open(os.path.join(directory, name), errors="replace") as f:
                lines = []
                for line in f.read().splitlines():
                    match = TIMESTAMP.match(line)
                    if match:
                        lines.append((float(match.group(1)), match.group(2)))
                files[pid] = lines
    execs = {pid: [e for e in (parse_execve(text) for _, text in lines) if e]
             for pid, lines in files.items()}
    roots = [pid for pid, found in execs.items()
             if found and os.path.realpath(found[-1][0]) == os.path.realpath(console)]
    if not roots:
        return [], {}, []
    children = []
    markers = {}
    pending = [min(roots)]
    while pending:
        pid = pending.pop()
        for stamp, text in files.get(pid, []):
            marker = re.match(r'openat\(.*marker-(\d+)\.png"', text)
            if marker:
                markers.setdefault(int(marker.group(1)), stamp)
                continue
            match = re.match(r"(clone3?|v?fork)\((.*)\) = (\d+)$", text)
            if not match:
                continue
            child = int(match.group(3))
            if "CLONE_THREAD" in match.group(2):
                pending.append(child)
            else:
                children.append((stamp, child))
    commands = []
    ends = []
    for stamp, child in sorted(children):
        if execs.get(child):
            commands.append((stamp, execs[child][-1]))
            ends.append(files[child][-1][0])
    return commands, markers, ends


def waves(run, keep):
    """The commands of a traced run for which keep(command) holds, in waves: a command that
    started before every command of the current wave had ended ran beside them and joins the
    wave; else it starts the next one. Replaying wave after wave, each at once, follows the
    console where it overlaps its own commands (a chain run one after another does not)."""
    result = []
    wave_end = None
    for (stamp, command), end in zip(run.timed_commands, run.ends):
        if not keep(command):
            continue
        if result and wave_end is not None and stamp < wave_end:
            result[-1].append(command)
            wave_end = min(wave_end, end)
        else:
            result.append([command])
            wave_end = end
    return result


def is_packages_query(command):
    return any(arg.startswith(PACKAGES_QUERY) for arg in command[1])


def describe(commands, limit=4):
    names = [" ".join(os.path.basename(a) if i == 0 else a for i, a in enumerate(argv))
             .replace("\n", "\\n").replace("\t", "\\t") for _, argv in commands]
    text = "; ".join(names[:limit])
    if len(names) > limit:
        text += "; ... (%d in all)" % len(names)
    return text


def ratio(value, reference):
    return value / reference if reference > 0 else float("nan")


def selectors(report):
    """(selector, element) for every element in the tree, depth first."""
    out = []

    def walk(elements, parent):
        for element in elements:
            name = element.get("id") or element.get("title")
            selector = name if element.get("id") else "%s/%s" % (parent, name)
            out.append((selector, element))
            walk(element.get("children", []), selector)

    walk(report.get("tree", []), "")
    return out


def main():
    args = parse_args()
    bench = Bench(args)
    all_plugins = bench.plugin_dir({short_name(lib) for lib in bench.libraries})
    empty_plugins = bench.plugin_dir(set())
    ready_script = "perform read-light ServiceServices\n"
    out = sys.stdout
    out.write("Console start-up and reads on the demo host: %d plug-ins, median of %d runs "
              "(min..max), wall-clock time\n" % (len(bench.libraries), args.repeat))
    out.write("(load average %s when started)\n\n" % " ".join(os.getloadavg().__repr__()
                                                          .strip("()").split(", ")))

    # 1. Start-up to a ready tree.
    empty = bench.repeated(empty_plugins, "")
    ready = bench.repeated(all_plugins, ready_script)
    traced = bench.run(all_plugins, ready_script, trace=True)
    startup_commands = [c for c in traced.commands if not is_packages_query(c)]
    sequential = bench.replay(startup_commands)
    chains = []
    frames = {}
    for library in bench.libraries:
        name = short_name(library)
        if name in (ROOT_PLUGIN, MAIL_PLUGIN, "packages"):
            continue
        frame = {ROOT_PLUGIN, MAIL_PLUGIN} if name in MAIL_SERVICES else {ROOT_PLUGIN}
        run = bench.run(bench.plugin_dir(frame | {name}), ready_script, trace=True)
        commands = [c for c in run.commands if not is_packages_query(c)]
        overlapped = waves(run, lambda c: not is_packages_query(c))
        chains.append((name, commands, bench.replay(commands), overlapped,
                       bench.replay_waves(overlapped)))
    chains.sort(key=lambda chain: chain[2].median, reverse=True)
    slowest = chains[0][2].median if chains else float("nan")
    slowest_overlapped = max((chain[4].median for chain in chains), default=float("nan"))
    empty_ms = Figure(r.wall for r in empty)
    ready_ms = Figure(r.ready_ms() for r in ready)
    exit_ms = Figure(r.wall for r in ready)
    target = 1.5 * slowest + empty_ms.median
    other = None
    if args.compare:
        # Interleaved with nothing else, right after this build's runs: the same machine load.
        compared = Bench(args, args.compare)
        compared_plugins = compared.plugin_dir({short_name(lib) for lib in compared.libraries})
        other = [compared.run(compared_plugins, ready_script) for _ in range(args.repeat)]
        if not args.keep:
            subprocess.run(["rm", "-rf", compared.work])

    bridged = None
    if args.bridge:
        # Alternating with in-process runs, so that both see the same machine load.
        bridged, alongside = [], []
        for _ in range(args.repeat):
            bridged.append(bench.run(all_plugins, ready_script, extra=["--bridge", args.bridge]))
            alongside.append(bench.run(all_plugins, ready_script))

    out.write("1. Start-up to a ready tree (every plug-in checked, the light read of "
              "ServiceServices ended)\n")
    out.write("   %-44s %s\n" % ("empty host (no plug-ins, start to exit):", empty_ms))
    out.write("   %-44s %s\n" % ("ready tree (console start to last state read):", ready_ms))
    out.write("   %-44s %s\n" % ("  the same runs, start to exit (all reads):", exit_ms))
    out.write("   %-44s %s   %d commands\n" % ("naive sequential (bare, one after another):",
                                               sequential, len(startup_commands)))
    for name, commands, figure, overlapped, overlapped_figure in chains:
        out.write("   %-44s %s   %s\n" % ("  chain of %s:" % name, figure, describe(commands, 3)))
        if len(overlapped) < len(commands):
            out.write("   %-44s %s   %d waves as the console overlaps them\n"
                      % ("    the same, overlapped:", overlapped_figure, len(overlapped)))
    out.write("   ready / slowest chain:        %6.2f  (%.1f / %.1f ms)\n"
              % (ratio(ready_ms.median, slowest), ready_ms.median, slowest))
    out.write("   ready / (chain + empty host): %6.2f  (%.1f / %.1f ms)\n"
              % (ratio(ready_ms.median, slowest + empty_ms.median), ready_ms.median,
                 slowest + empty_ms.median))
    out.write("   ready / naive sequential:     %6.2f  (%.1f / %.1f ms)\n"
              % (ratio(ready_ms.median, sequential.median), ready_ms.median, sequential.median))
    out.write("   target 1.5 x chain + empty host = %.1f ms: %s\n"
              % (target, "met" if ready_ms.median <= target else "NOT met"))
    # The chains are the limit with a processor for every command; on this machine the commands
    # share its processors, which bounds the start-up from below as well.
    cores = os.cpu_count() or 1
    overlapped_target = 1.5 * slowest_overlapped + empty_ms.median
    out.write("   with the chains overlapped as the console runs them (slowest %.1f ms):\n"
              "     target 1.5 x chain + empty host = %.1f ms: %s\n"
              % (slowest_overlapped, overlapped_target,
                 "met" if ready_ms.median <= overlapped_target else "NOT met"))
    floor = sequential.median / cores + empty_ms.median
    out.write("   ready / (naive sequential / %d processors + empty host): %.2f  (%.1f / %.1f ms)\n"
              % (cores, ratio(ready_ms.median, floor), ready_ms.median, floor))
    if other:
        other_ready = Figure(r.ready_ms() for r in other)
        out.write("   %-44s %s   (this build x%.2f of it)\n"
                  % ("ready tree of %s:" % os.path.basename(args.compare.rstrip("/")),
                     other_ready, ratio(ready_ms.median, other_ready.median)))
        out.write("   %-44s %s\n" % ("  the same runs, start to exit:",
                                      Figure(r.wall for r in other)))
    if bridged:
        through = Figure(r.ready_ms() for r in bridged)
        local = Figure(r.ready_ms() for r in alongside)
        failed = sum(1 for r in bridged for t in r.report.get("tasks", [])
                     if t.get("status") not in (2, 3))  # done, warning
        errors = {r.report.get("error") for r in bridged if r.report.get("error")}
        out.write("   %-44s %s\n" % ("ready tree through the helper:", through))
        out.write("   %-44s %s\n" % ("  in-process, runs alternating with those:", local))
        out.write("   helper / in-process: %.2f  target 1.2: %s; %d tasks not done%s\n"
                  % (ratio(through.median, local.median),
                     "met" if through.median <= 1.2 * local.median else "NOT met", failed,
                     "; " + "; ".join(sorted(errors)) if errors else ""))
    out.write("\n")
    out.flush()

    # 2. Every element's heavy read against the bare commands it runs. One traced run reads
    # each element once behind a marker (a screenshot file the console opens): the commands
    # started between two markers are that read's. Timed runs read each element several times
    # in a row, untraced.
    heavy = [(selector, element) for selector, element in selectors(traced.report)
             if int(element.get("operations", "0"), 16) & OP_READ_HEAVY]
    reads = 3
    script = ready_script
    for index, (selector, _) in enumerate(heavy):
        script += 'screenshot ServiceServices "%s/marker-%d.png"\n' % (bench.work, index)
        script += 'perform read-heavy "%s"\n' % selector
    script += 'screenshot ServiceServices "%s/marker-%d.png"\n' % (bench.work, len(heavy))
    marked = bench.run(all_plugins, script, trace=True)
    timed_script = ready_script
    for selector, _ in heavy:
        timed_script += ('perform read-heavy "%s"\n' % selector) * reads
    durations = collections.defaultdict(list)
    for _ in range(args.repeat):
        run = bench.run(all_plugins, timed_script)
        steps = run.step_ms()  # from the second step on
        for index in range(len(heavy)):
            # The first read of each element follows another element's: leave it out.
            durations[index].extend(steps[index * reads + 1:(index + 1) * reads])
    out.write("2. Heavy reads: console (median of %d reads) against the commands each runs, "
              "run bare one after another\n" % ((reads - 1) * args.repeat))
    out.write("   %-34s %10s %10s %7s  %s\n" % ("element", "read ms", "bare ms", "ratio",
                                              "commands"))
    for index, (selector, element) in enumerate(heavy):
        begin = marked.markers.get(index)
        end = marked.markers.get(index + 1)
        per_read = [command for stamp, command in marked.timed_commands
                    if begin is not None and end is not None and begin <= stamp < end]
        read = Figure(durations[index])
        if per_read:
            bare = bench.replay(per_read)
            out.write("   %-34s %10.1f %10.1f %7.2f  %s\n"
                      % (selector[:34], read.median, bare.median,
                         ratio(read.median, bare.median), describe(per_read, 2)))
        else:
            out.write("   %-34s %10.1f %10s %7s  (no commands: files only)\n"
                      % (selector[:34], read.median, "-", "-"))
        out.flush()
    out.write("\n")

    # 3. Peak memory with every plug-in loaded and every element read and shown.
    script = ready_script
    for selector, element in selectors(traced.report):
        if int(element.get("operations", "0"), 16) & OP_READ_HEAVY:
            script += 'perform read-heavy "%s"\n' % selector
        script += 'show "%s"\n' % selector
    full = [bench.run(all_plugins, script) for _ in range(max(1, args.repeat // 2))]
    peak = statistics.median(r.rss for r in full)
    base = statistics.median(r.rss for r in empty)
    out.write("3. Peak memory (maximum resident set)\n")
    out.write("   empty host:                           %8.1f MiB\n" % (base / 1024))
    out.write("   every plug-in, every element read and shown: %8.1f MiB  (x%.2f the empty "
              "host, exit code %d)\n\n" % (peak / 1024, ratio(peak, base), full[0].code))
    out.flush()

    # 4. The largest inputs: the benches of the parsers and widgets.
    if not args.skip_large:
        out.write("4. Largest inputs (processor time of the GUI thread)\n")
        out.flush()
        for program, arguments in LARGE:
            path = os.path.join(bench.build, "bench", program)
            if not os.access(path, os.X_OK):
                out.write("   %s: not built\n" % program)
                continue
            out.write("\n== %s %s\n" % (os.path.basename(program), " ".join(arguments)))
            out.flush()
            subprocess.run([path] + arguments, env=bench.env, stdout=sys.stdout)
            out.flush()
    if not args.keep:
        subprocess.run(["rm", "-rf", bench.work])


LARGE = [
    ("oxa-service-apache-plugin/bench_apachehosts", ["1000", "10000"]),
    ("oxa-service-cups-plugin/bench_cupsconfreader", ["--printers"]),
    ("oxa-service-dovecot-plugin/bench_doveconfparser", ["--widget"]),
    ("oxa-service-cron-plugin/bench_crontab", ["--widget"]),
    ("bench-treeload", ["3", "1000", "10000"]),
]

if __name__ == "__main__":
    main()
