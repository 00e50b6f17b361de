#!/usr/bin/env python3
"""Kills the unattended runner with SIGKILL at random moments and checks what it leaves.

    crash_test.py BIN_DIR [--kills N] [--during run,reports,prune]

N kills (default 25, or CRASH_KILLS) in each part named; a part may name its own count:
run=300.

Each kill falls at a random moment of a run of a job of a few dozen lines (waits, parallel
lines, repeats, user scripts), of its reports, or of a `--history --prune`. Afterwards:
the database passes `PRAGMA integrity_check` and takes a writer; every row a reader saw
committed just before the kill is still there, ended rows unchanged; the run reads
"interrupted" in --history and is gone from --status, with no line left running; no
program of the run is left once the watchdog's grace is over, and the job's lock is free;
`--rerun` runs exactly the lines that had not succeeded, so that every line succeeded
once in the two runs together. A prune killed between its batches leaves whole runs or
old runs with fewer rows, never a row without its run, and the next prune takes the rest.

The moments come from one seed, printed first: CRASH_SEED=N replays them (the machine's
timing aside). Exits 1 when a kill left something wrong, each named with its number.
"""

import argparse
import collections
import ctypes
import fcntl
import json
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The watchdog's grace for lines that do not end on SIGTERM, and the time it may then take
# to tell of the run.
GRACE_S = 10
TELLING_S = 5
LINES = 32
PRUNED_RUNS = 300
PR_SET_CHILD_SUBREAPER = 36


class Failure(Exception):
    pass


def expect(condition, what):
    """`what` says what went wrong: a text, or a function that makes it."""
    if not condition:
        raise Failure(what() if callable(what) else what)


def job_xml(folder):
    """A job of LINES lines: chains and fans of waits, every fifth line failing once and
    repeated, every seventh a user script."""
    shape = random.Random(39)  # the same job for every seed
    lines = []
    for i in range(LINES):
        number = 10 * (i + 1)
        earlier = [10 * (j + 1) for j in range(max(0, i - 6), i)]
        waits = sorted(shape.sample(earlier, min(len(earlier), shape.randint(0, 2))))
        extra = ""
        if i % 7 == 6:
            script = os.path.join(folder, "user.sh")
            extra = (f' own_batch_file="{script}" int_log_file="{folder}/user_{number}_log.txt"'
                     f' int_err_file="{folder}/user_{number}_status.txt"')
            kind, options = "User Batchfile", ""
        else:
            kind = "Flow Runner"
            options = f"-sleep {shape.randint(2, 15)}"
            if i % 5 == 4:
                options += " -first-status failure"
        repeat = str(number) if i % 5 == 4 else ""
        lines.append(
            f'<BatchLine batch_line="{number}" batch_line_description="line {number}" '
            f'batch_line_type="{kind}" options="{options}" wait="{",".join(map(str, waits))}" '
            f'stop_on_error="false" active="true" skip_on_error="" skip_on_success="" '
            f'repeat_on_error="{repeat}" repeat_on_success=""{extra}/>')
    return (f'<VANTORSOREL_Job_specification Description="Crash" LogFile="{folder}/admin.htm" '
            f'UserFile="{folder}/user.htm" TempLogDir="{folder}/logs" LogToEventLog="true" '
            f'Exportdate="2026-12-06 12:00:00" MaxParallel="4">\n<BatchLines>\n'
            + "\n".join(lines) + "\n</BatchLines>\n</VANTORSOREL_Job_specification>\n")


class Bench:
    def __init__(self, bin_dir, folder):
        self.bin_dir, self.folder = bin_dir, folder
        subprocess.run(["bash", os.path.join(HERE, "..", "scripts", "make-utilities.sh"), folder,
                        bin_dir], check=True, stdout=subprocess.DEVNULL)
        self.job = os.path.join(folder, "job.xml")
        with open(self.job, "w") as f:
            f.write(job_xml(folder))
        # A user script that outlives its runner holds on while its line's hold file exists:
        # only its end by the watchdog ends it then.
        self.hold = os.path.join(folder, "hold_")
        with open(os.path.join(folder, "user.sh"), "w") as f:
            f.write(f'#!/bin/sh\nsleep 0.03\nn=$(basename "$1" | cut -d_ -f2)\n'
                    f'while [ -e "{self.hold}$n" ]; do sleep 0.01; done\necho ok >"$1"\n')
        os.chmod(os.path.join(folder, "user.sh"), 0o755)
        self.db = os.path.join(folder, "metadata.sqlite")
        # The report generator takes its time, as it does on a big run, and says it started.
        self.generating = os.path.join(folder, "generating")
        generator = os.path.join(folder, "keld", "utils", "PageGen.exe")
        os.rename(generator, generator + ".real")
        with open(generator, "w") as f:
            f.write(f'#!/bin/sh\n: >"{self.generating}"\nsleep 0.02\n'
                    f'exec "{generator}.real" "$@"\n')
        os.chmod(generator, 0o755)
        # Every process of this bench's runs carries the tag in its environment.
        self.tag = f"{os.getpid()}:{folder}"
        self.env = dict(os.environ, JOBRUNNER_REGISTRY=os.path.join(folder, "registry.reg"),
                        JOBRUNNER_EVENT_LOG=os.path.join(folder, "events.log"),
                        JOBRUNNER_METADATA_DB=self.db, JOBRUNNER_CRASH_TAG=self.tag)

    def start(self, *args):
        if os.path.exists(self.generating):
            os.remove(self.generating)
        # Its standard error is kept, so that a runner that ended too soon can say why.
        with open(os.path.join(self.folder, "runner.err"), "w") as err:
            return subprocess.Popen([os.path.join(self.bin_dir, "jobrunner"), *args],
                                    env=self.env, cwd=self.folder, stdout=subprocess.DEVNULL,
                                    stderr=err)

    def ended_too_soon(self, runner):
        """What a runner that ended before its reports said, with its exit status."""
        with open(os.path.join(self.folder, "runner.err"), errors="replace") as err:
            said = err.read().strip().splitlines()[-5:]
        return f"the runner ended with {runner.returncode}: " + " / ".join(said)

    def run(self, *args):
        done = subprocess.run([os.path.join(self.bin_dir, "jobrunner"), *args], env=self.env,
                              cwd=self.folder, capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout, done.stderr

    def json(self, *args):
        status, out, err = self.run(*args, "--json")
        expect(status == 0, f"jobrunner {' '.join(args)} ended with {status}: {err}")
        return json.loads(out)

    def rows(self, sql):
        """The rows a reader sees now; none before the database exists."""
        if not os.path.exists(self.db):
            return []
        db = sqlite3.connect(f"file:{self.db}?mode=ro", uri=True, timeout=10)
        try:
            return db.execute(sql).fetchall()
        finally:
            db.close()

    def processes(self):
        """The live processes of this bench's runs: each its program and command line."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if f"JOBRUNNER_CRASH_TAG={self.tag}".encode() not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    command = f.read().replace(b"\0", b" ").decode(errors="replace")
                found.append((os.path.basename(os.readlink(f"/proc/{pid}/exe")), command))
            except OSError:
                continue  # gone, or a zombie
        return found

    def wait_until_gone(self, since):
        """Waits for the run's programs to end within the watchdog's grace, and for the
        watchdog, which then tells of the run, a little longer."""
        while True:
            reap()
            left = self.processes()
            if not left:
                return
            waited = time.monotonic() - since
            lines = [command for program, command in left if program != "jobrunner"]
            expect(waited < GRACE_S or not lines, f"{GRACE_S} s after the kill, {lines} still run")
            expect(waited < GRACE_S + TELLING_S, f"{waited:.0f} s after the kill, {left} still run")
            time.sleep(0.02)

    def check_database(self):
        db = sqlite3.connect(self.db, timeout=10)
        try:
            expect(db.execute("PRAGMA integrity_check").fetchall() == [("ok",)],
                   "the database fails its integrity check")
            db.execute("BEGIN IMMEDIATE")
            db.execute("ROLLBACK")
            orphans = db.execute("SELECT count(*) FROM run_lines WHERE run_id NOT IN "
                                 "(SELECT run_id FROM runs)").fetchone()[0]
            expect(orphans == 0, f"{orphans} line rows of no run")
        finally:
            db.close()

    def check_lock_free(self):
        locks = os.path.join(self.folder, "locks")
        for name in os.listdir(locks) if os.path.isdir(locks) else []:
            with open(os.path.join(locks, name)) as f:
                try:
                    fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
                except BlockingIOError:
                    raise Failure(f"the lock {name} is still held")


def reap():
    """Reaps the orphans of killed runners, which come to this process (a subreaper): a
    process group whose last process is a zombie still takes signals, and the watchdog waits
    for the groups it ended to be gone."""
    try:
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass
    except ChildProcessError:
        pass


def succeeded(lines):
    """The job lines that succeeded in a run's rows, a repeat copy counting for its line."""
    origin = {line["line"]: line["repeat_of"] for line in lines if line["repeat_of"]}
    done = set()
    for line in lines:
        if line["outcome"] == "ok":
            number = line["line"]
            while number in origin:
                number = origin[number]
            done.add(number)
    return done


def run_ids(bench):
    return {row[0] for row in bench.rows("SELECT run_id FROM runs")}


def check_run_after_kill(bench, before, seen):
    """`before`: the runs there before the killed run; `seen`: its rows a reader saw
    committed just before the kill."""
    every = {str(10 * (i + 1)) for i in range(LINES)}
    status = bench.json("--status", bench.job)
    new = run_ids(bench) - before
    seen = [row for row in seen if row[0] not in before]
    expect(len(new) <= 1, f"one run made {len(new)} rows")
    expect(not any(run["run_id"] in new for run in status), "--status shows the killed run")
    # Of all who may find the run dead, one tells of it: the event log says so once a run.
    with open(os.path.join(bench.folder, "events.log"), encoding="utf-8") as f:
        told = f.read().count("' interrupted: ")
    (interrupted,) = bench.rows("SELECT count(*) FROM runs WHERE status = 6")[0]
    expect(told == interrupted, f"{told} interruptions told of, {interrupted} in the history")
    if not new:
        expect(not seen, "the run's rows are gone")
        return "before its run began"
    (run_id,) = new
    now = {(row[0], row[1]): row for row in bench.rows(
        "SELECT run_id, line, start_ms, end_ms, outcome, exit_code FROM run_lines")}
    for row in seen:
        after = now.get((row[0], row[1]))
        expect(after is not None, f"the row of line {row[1]} is gone")
        # A line that had ended keeps all it had; one that had started keeps its start.
        expect(after == row if row[3] is not None else row[2] is None or after[2] == row[2],
               f"line {row[1]} was {row[2:]} before the kill and is {after[2:]}")
    # A line's metadata row and its ended row go in together.
    ((logged, ended),) = bench.rows(
        f"SELECT (SELECT count(*) FROM process_metadata WHERE run_id = '{run_id}'), "
        f"(SELECT count(*) FROM run_lines WHERE run_id = '{run_id}' AND exit_code IS NOT NULL)")
    expect(logged == ended, f"{logged} metadata rows for {ended} ended lines")
    run = bench.json("--history", bench.job, run_id)
    lines = run["lines"]
    for line in lines:
        expect(line["outcome"] in ("ok", "failed", "not run", "interrupted"),
               f"line {line['line']} reads {line['outcome']}")
        expect(line["start"] is None or line["end"] is not None or
               line["outcome"] == "interrupted", f"line {line['line']} is shown as running")
    # The table the administrator reads keeps its columns whatever the lines' outcomes.
    table = bench.run("--history", bench.job, run_id)[1].split("\n")
    rows = table[next(i for i, row in enumerate(table) if row.startswith("LINE ")):]
    column = rows[0].find("DESCRIPTION")
    expect(all(row[column:].startswith("line ") for row in rows[1:] if row),
           "the columns of --history do not line up:\n" + "\n".join(rows))
    ok = succeeded(lines)
    if run["status"] != "interrupted":  # killed after the run had ended
        expect(run["end"] is not None and ok == every, f"an ended run reads {run}")
        return "after its run ended"
    expect(run["end"] is not None, "the interrupted run has no end")
    bench.check_lock_free()

    status, out, err = bench.run("--check", "--rerun", run_id, bench.job)
    expect(status == 0, f"--check --rerun ended with {status}: {err}")
    to_run = set(json.loads(out)["rerun"]["to_run"])
    expect(to_run == every - ok, f"the rerun would run {sorted(to_run)}, not the lines "
                                 f"that had not succeeded: {sorted(every - ok)}")
    if not to_run:
        return "interrupting its run"
    status, out, err = bench.run("--rerun", run_id, bench.job)
    expect(status == 0, f"the rerun ended with {status}: {err}")
    rerun_lines = [dict(zip(("line", "outcome", "repeat_of"), map(str, row))) for row in bench.rows(
        "SELECT line, outcome, ifnull(repeat_of, '') FROM run_lines WHERE run_id = "
        f"(SELECT run_id FROM runs WHERE rerun_of = '{run_id}')")]
    ran = {line["line"] for line in rerun_lines
           if line["outcome"] != "over" and not line["repeat_of"]}
    expect(ran == to_run, f"the rerun ran {sorted(ran)}, not {sorted(to_run)}")
    again = succeeded(rerun_lines)
    expect(again == to_run and not (again & ok),
           f"succeeded in the killed run: {sorted(ok)}, in its rerun: {sorted(again)}")
    return "interrupting its run"


def wait_for_reports(bench, runner):
    """Waits for the runner's report generator; false when the runner ended first."""
    while not os.path.exists(bench.generating):
        if runner.poll() is not None:
            return False
        time.sleep(0.001)
    return True


def kill_job(bench, rng, span, reports):
    """Kills a run of the job `span` s or less after its start, or after its report
    generator's start."""
    before = run_ids(bench)
    started_ms = time.time_ns() // 1_000_000 - 1000
    runner = bench.start(bench.job)
    expect(not reports or wait_for_reports(bench, runner),
           lambda: "no report generator started: " + bench.ended_too_soon(runner))
    time.sleep(rng.uniform(0, span))
    seen = bench.rows("SELECT run_id, line, start_ms, end_ms, outcome, exit_code FROM run_lines "
                      f"WHERE run_id IN (SELECT run_id FROM runs WHERE start_ms > {started_ms})")
    runner.send_signal(signal.SIGKILL)
    runner.wait()
    killed = time.monotonic()
    # Every line of the run held: a line the watchdog was not told of outlives the grace,
    # whether or not its start was committed.
    holds = {bench.hold + str(row[1]) for row in seen if row[0] not in before}
    for hold in holds:
        open(hold, "w").close()
    try:
        bench.wait_until_gone(killed)
    finally:
        for hold in holds:
            os.remove(hold)
    bench.check_database()
    for report in ("admin.htm", "user.htm") if reports else ():
        with open(os.path.join(bench.folder, report), "rb") as f:
            expect(f.read().rstrip().endswith(b"</html>"), f"{report} is cut short")
    return check_run_after_kill(bench, before, seen)


def use_database(bench, template):
    for stale in ("-wal", "-shm"):
        if os.path.exists(bench.db + stale):
            os.remove(bench.db + stale)
    shutil.copyfile(template, bench.db)


def kill_prune(bench, rng, span, template):
    use_database(bench, template)
    lines_before = bench.rows("SELECT count(*) FROM run_lines WHERE run_id NOT LIKE 'old%'")
    pruner = bench.start("--history", "--prune", "1")
    time.sleep(rng.uniform(0, span))
    pruner.send_signal(signal.SIGKILL)
    pruner.wait()
    bench.wait_until_gone(time.monotonic())
    bench.check_database()
    # A prune goes in batches: a kill between them leaves some old runs, never a row of
    # a run that is gone; the next prune takes the rest.
    orphans = [bench.rows(f"SELECT count(*) FROM {table} WHERE run_id NOT IN "
                          "(SELECT run_id FROM runs)")[0][0]
               for table in ("run_lines", "process_metadata")]
    expect(orphans == [0, 0], f"a prune killed halfway left rows of pruned runs: {orphans}")
    left = bench.rows("SELECT count(*) FROM runs WHERE run_id LIKE 'old%'")[0][0]
    expect(bench.rows("SELECT count(*) FROM run_lines WHERE run_id NOT LIKE 'old%'")
           == lines_before, "the prune touched the recent runs")
    status, out, err = bench.run("--history", "--prune", "1")
    expect(status == 0 and out.startswith(f"{left} run(s)"), f"the next prune: {out}{err}")
    gone = [bench.rows(f"SELECT count(*) FROM {table} WHERE run_id LIKE 'old%'")[0][0]
            for table in ("runs", "run_lines", "process_metadata")]
    expect(gone == [0, 0, 0], f"the next prune left old runs, line and metadata rows: {gone}")
    if 0 < left < PRUNED_RUNS:
        return "between its batches"
    return "before its first commit" if left else "after its last commit"


def make_prune_template(bench):
    """The database of the runs so far, with PRUNED_RUNS copies of a run dated long ago;
    its name."""
    template = os.path.join(bench.folder, "prune.sqlite")
    db = sqlite3.connect(bench.db)
    db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    db.close()
    shutil.copyfile(bench.db, template)
    db = sqlite3.connect(template)
    (run_id,) = db.execute("SELECT run_id FROM runs WHERE end_ms IS NOT NULL").fetchone()
    copies = f"FROM n, {{0}} WHERE run_id = '{run_id}'"
    db.execute("CREATE TEMP TABLE n AS WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
               f"FROM c WHERE i < {PRUNED_RUNS}) SELECT 'old' || i AS old FROM c")
    for table, key in (("runs", ""), ("run_lines", ""), ("process_metadata", "id")):
        columns = [row[1] for row in db.execute(f"PRAGMA table_info({table})") if row[1] != key]
        db.execute(f"INSERT INTO {table} ({', '.join(columns)}) SELECT "
                   + ", ".join("old" if c == "run_id" else "start_ms - 86400000 * 30"
                               if c == "start_ms" and table == "runs" else c for c in columns)
                   + " " + copies.format(table))
    db.commit()
    db.close()
    return template


def timed(action):
    started = time.monotonic()
    action()
    return time.monotonic() - started


def job_plan(bench, rng, reports):
    """Kills a run, or its reports, over the time a run that ends takes to get there."""
    runner = bench.start(bench.job)
    if reports:
        expect(wait_for_reports(bench, runner),
               lambda: "no report generator started: " + bench.ended_too_soon(runner))
    span = timed(runner.wait) * 1.1
    return span, lambda: kill_job(bench, rng, span, reports)


def prune_plan(bench, rng):
    """Kills a prune of PRUNED_RUNS runs over the time such a prune takes."""
    if not run_ids(bench):
        bench.start(bench.job).wait()
    template = make_prune_template(bench)
    use_database(bench, template)
    span = timed(lambda: bench.run("--history", "--prune", "1")) * 1.1
    return span, lambda: kill_prune(bench, rng, span, template)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--kills", type=int, default=int(os.environ.get("CRASH_KILLS", 25)))
    parser.add_argument("--during", default="run,reports,prune",
                        help="what is killed, each with its own count as in run=300")
    options = parser.parse_args()
    seed = int(os.environ.get("CRASH_SEED", random.SystemRandom().randrange(1 << 32)))
    print(f"seed {seed} (CRASH_SEED={seed} replays it)", flush=True)
    rng = random.Random(seed)
    ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    started = time.monotonic()
    kills = failures = 0
    # A killed process leaves its writes in the page cache: memory does as well as a disk.
    memory = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(prefix="crash-", dir=memory) as folder:
        bench = Bench(os.path.abspath(options.bin_dir), folder)
        plans = {"run": lambda: job_plan(bench, rng, False),
                 "reports": lambda: job_plan(bench, rng, True),
                 "prune": lambda: prune_plan(bench, rng)}
        for during, _, count in (part.partition("=") for part in options.during.split(",")):
            span, kill = plans[during]()
            hits = collections.Counter()
            for _ in range(int(count or options.kills)):
                kills += 1
                try:
                    hits[kill()] += 1
                except Failure as failure:
                    failures += 1
                    print(f"kill {kills} (during the {during}): {failure}", flush=True)
                    try:  # the next kill starts with nothing of this one's left
                        bench.wait_until_gone(time.monotonic())
                    except Failure:
                        pass
            print(f"killed during the {during} (within {span:.2f} s): " +
                  ", ".join(f"{count} {when}" for when, count in sorted(hits.items())), flush=True)
    print(f"kills: {kills}, failures: {failures}, time: {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
