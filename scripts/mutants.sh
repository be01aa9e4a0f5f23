#!/usr/bin/env bash
# The mutation check: plants each fault listed in tests/mutants/faults.txt, one
# at a time, rebuilds (incrementally, in build-test), runs the tests and prints
# which faults the suite caught (with the first test that failed) and which it
# missed. Slow, so not part of CI.
#
#   scripts/mutants.sh                 every fault
#   scripts/mutants.sh journal csv     only the faults whose name holds a word given
#   scripts/mutants.sh --check         only checks that every fault still applies
#   scripts/mutants.sh --all ...       runs the test binary in full and lists every test
#                                      that failed (shows which tests alone catch a fault)
#
# Each fault is written into its source file and the file put back afterwards,
# on Ctrl-C too; a run killed outright leaves the original in
# build-test/mutant-original, put back by the next run. With TKV_MUTANTS_COPY=1
# (as root) the faults go into a copy of the worktree and its build-test instead,
# mounted over the worktree's path in a private mount namespace, so that the
# build stays incremental while the worktree itself may be edited meanwhile.
# Exit status: 0 when every fault run was caught.
#
# Environment: JOBS (default 2), TKV_MUTANTS_TIMEOUT (seconds per test run, default 900).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${TKV_MUTANTS_COPY:-0}" == 1 && -z "${TKV_MUTANTS_INSIDE:-}" ]]; then
    here=$PWD
    copy=$(mktemp -d "${TMPDIR:-/tmp}/tkv-mutants.XXXXXX")
    trap 'rm -rf "$copy"' EXIT
    echo "Copying the worktree and its build to $copy ..."
    tar -C "$here" --exclude=./.git -cf - . | tar -C "$copy" -xf -
    TKV_MUTANTS_INSIDE=1 unshare -m bash -c 'mount --bind "$1" "$2" && cd "$2" && shift 2 && exec bash scripts/mutants.sh "$@"' \
        mutants "$copy" "$here" "$@"
    exit $?
fi
exec python3 - "$@" <<'PYTHON'
import os, re, shutil, signal, subprocess, sys, time

root = os.getcwd()
src = root
build = os.path.join(root, "build-test")
saved = os.path.join(build, "mutant-original")
jobs = os.environ.get("JOBS", "2")
timeout = int(os.environ.get("TKV_MUTANTS_TIMEOUT", "900"))
args = sys.argv[1:]
check_only = "--check" in args
all_failures = "--all" in args
words = [a for a in args if not a.startswith("--")]
GUI_DIRS = ("src/views/", "src/dialogs/", "src/app/", "src/platform/qt/")


def parse(path):
    """Entries of '== name', 'in: file-or-folder', 'from:'/'to:' (one line after
    the colon, or the lines below a bare 'from:' / 'to:', up to the next 'to:',
    '== ' or '# ' line)."""
    faults, cur, block = [], None, None
    for raw in open(path, encoding="utf-8").read().split("\n"):
        if raw.startswith("== "):
            cur = {"name": raw[3:].strip(), "line": len(faults)}
            faults.append(cur)
            block = None
            continue
        if cur is None:
            continue
        if block is not None and raw.startswith("# "):
            block = None  # a comment line ends a block
        if block is not None and raw != "to:":
            cur[block].append(raw)
            continue
        if raw.startswith("#") or not raw.strip():
            continue
        key, _, value = raw.partition(":")
        if key == "in":
            cur["in"] = value.strip()
        elif key in ("from", "to"):
            if value == "":
                cur[key] = []
                block = key
            else:
                cur[key] = [value[1:] if value.startswith(" ") else value]
                block = None
        else:
            sys.exit(f"faults.txt: unknown line in '{cur['name']}': {raw}")
    for f in faults:
        for k in ("from", "to"):
            lines = f.get(k)
            if lines is None:
                sys.exit(f"faults.txt: '{f['name']}' has no '{k}:'")
            while lines and not lines[-1].strip():
                lines.pop()
            f[k] = "\n".join(lines)
        if "in" not in f:
            sys.exit(f"faults.txt: '{f['name']}' has no 'in:'")
    names = [f["name"] for f in faults]
    if len(set(names)) != len(names):
        sys.exit("faults.txt: two faults share a name")
    return faults


def locate(base, fault):
    """The one file under fault['in'] holding the original text exactly once."""
    where = os.path.join(base, fault["in"])
    files = [where] if os.path.isfile(where) else [
        os.path.join(d, n) for d, _, ns in os.walk(where) for n in sorted(ns)
        if n.endswith((".cpp", ".h"))]
    hits = []
    for p in files:
        n = open(p, encoding="utf-8", errors="surrogateescape").read().count(fault["from"])
        if n:
            hits.append((p, n))
    if len(hits) != 1 or hits[0][1] != 1:
        return None, f"the original text is found {sum(n for _, n in hits)} times"
    return hits[0][0], None


current = None  # the build or test running now, in its own process group


def run(cmd, timeout=None, **kw):
    global current
    current = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace", start_new_session=True, **kw)
    try:
        out, _ = current.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(current.pid, signal.SIGKILL)
        current.communicate()
        raise
    finally:
        done, current = current, None
    return subprocess.CompletedProcess(cmd, done.returncode, out)


def build_targets(targets):
    env = dict(os.environ, CCACHE_BASEDIR=src)
    r = run(["nice", "cmake", "--build", build, "-j", jobs, "--target", *targets], env=env)
    return r.returncode == 0, r.stdout


# The slow tests (processes killed and raced, every failure point of a save) run
# after the others, and only when those caught nothing.
SLOW = "TkvHdrKillTest.*:TkvHdrRaceTest.*:CrashSafetyTest.*"


def gtest(binary, env=None):
    """None when every test passed, else the first failing test's name (with
    --all, every failing test's)."""
    e = dict(os.environ, **(env or {}))
    found = []
    for part in ([f"-{SLOW}", SLOW] if binary == "tkv_tests" else [None]):
        cmd = [os.path.join(build, binary), "--gtest_brief=1"]
        if part:
            cmd.append(f"--gtest_filter={part}")
        if not all_failures:
            cmd.append("--gtest_fail_fast")
        try:
            r = run(cmd, env=e, timeout=timeout, cwd=build)
        except subprocess.TimeoutExpired:
            return f"{binary}: timed out"
        if r.returncode != 0:
            names = list(dict.fromkeys(re.findall(r"^\[  FAILED  \] (\S+?)(?:,|\s|$)", r.stdout, re.M)))
            found += names or [f"{binary}: crashed (status {r.returncode})"]
            if not all_failures:
                return found[0]
    return " ".join(found) or None


def shell_test():
    r = run(["bash", os.path.join(src, "tests/cli/tkvhdr_script_test.sh"),
             os.path.join(build, "tkvhdr"), os.path.join(src, "docs/help/tkvhdr.html")],
            timeout=timeout)
    return None if r.returncode == 0 else "tkvhdr_script_test.sh"


GUI_ENV = {"QT_QPA_PLATFORM": "offscreen"}


def suite(gui_fault, have_gui):
    """The first failing test, or None; the core tests first for a core fault."""
    if not gui_fault:
        ok, log = build_targets(["tkvhdr", "tkv_tests"])
        if not ok:
            return "BUILD", log
        failed = gtest("tkv_tests")
        if not failed or all_failures:
            failed = " ".join(filter(None, [failed, shell_test()]))
        # The editor's tests run for a core fault only when the core tests missed it.
        if failed or not have_gui:
            return failed or None, ""
        ok, log = build_targets(["tkv_gui_tests"])
        if not ok:
            return "BUILD", log
        return " ".join(filter(None, [failed, gtest("tkv_gui_tests", GUI_ENV)])) or None, ""
    ok, log = build_targets(["tkv_gui_tests"])
    if not ok:
        return "BUILD", log
    return gtest("tkv_gui_tests", GUI_ENV), ""


faults = parse(os.path.join(root, "tests/mutants/faults.txt"))
if words:
    faults = [f for f in faults if any(w in f["name"] for w in words)]

if check_only:
    bad = 0
    for f in faults:
        path, why = locate(root, f)
        if not path:
            bad += 1
            print(f"STALE  {f['name']}: {why} under {f['in']}")
    print(f"{len(faults) - bad} of {len(faults)} faults apply")
    sys.exit(1 if bad else 0)



def put_back_saved():
    """Puts back a file left faulty by a run that was killed outright."""
    if os.path.exists(saved):
        data = open(saved, "rb").read()
        path, _, text = data.partition(b"\0")
        with open(path.decode(), "wb") as out:
            out.write(text)
        os.remove(saved)
        print(f"Put back {path.decode()}, left faulty by an earlier run.")


put_back_saved()
if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
    r = run(["cmake", "-S", src, "-B", build, "-DTKV_WERROR=ON", "-DTKV_BUILD_BENCH=OFF",
             "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"])
    if r.returncode != 0:
        sys.exit(r.stdout)
have_gui = "tkv_gui_tests" in run(["cmake", "--build", build, "--target", "help"]).stdout

print("Baseline: building and running the unchanged suite ...", flush=True)
for gui_fault in (False, True) if have_gui else (False,):
    failed, log = suite(gui_fault, have_gui)
    if failed:
        sys.exit(f"The unchanged suite fails ({failed}); fix that first.\n{log[-3000:]}")

restore = {}


def put_back():
    for path, text in restore.items():
        with open(path, "wb") as out:
            out.write(text)
        os.utime(path)  # newer than any faulty build: rebuilt from the original
        if os.path.exists(saved):
            os.remove(saved)
    restore.clear()


def on_signal(sig, frame):
    if current:  # a build of the faulty file must not finish after the file is put back
        os.killpg(current.pid, signal.SIGKILL)
        current.wait()
        # A link cut short leaves a partial program that looks up to date: relinked next time.
        for program in ("tkv_tests", "tkv_gui_tests", "tkvhdr", "tkv-editor"):
            if os.path.exists(os.path.join(build, program)):
                os.remove(os.path.join(build, program))
    put_back()
    sys.exit("\nStopped; every source file is as it was.")


signal.signal(signal.SIGINT, on_signal)
signal.signal(signal.SIGTERM, on_signal)

rows = []
for f in faults:
    path, why = locate(src, f)
    if not path:
        rows.append((f["name"], "STALE", why))
        print(f"{'STALE':7} {f['name']}: {why}", flush=True)
        continue
    original = open(path, "rb").read()
    restore[path] = original
    with open(saved, "wb") as out:
        out.write(path.encode() + b"\0" + original)
    started = time.time()
    try:
        text = original.decode("utf-8", "surrogateescape").replace(f["from"], f["to"], 1)
        with open(path, "wb") as out:
            out.write(text.encode("utf-8", "surrogateescape"))
        gui_fault = os.path.relpath(path, src).startswith(GUI_DIRS)
        failed, log = suite(gui_fault, have_gui)
    finally:
        put_back()
    status = "BUILD" if failed == "BUILD" else "caught" if failed else "MISSED"
    where = log.strip().splitlines()[-1] if failed == "BUILD" and log.strip() else (failed or "")
    rows.append((f["name"], status, where))
    print(f"{status:7} {f['name']:52} {where}  ({time.time() - started:.0f} s)", flush=True)

# The last state built is the unchanged one again.
print("\nRestoring the build to the unchanged sources ...", flush=True)
for gui_fault in (False, True) if have_gui else (False,):
    build_targets(["tkv_gui_tests"] if gui_fault else ["tkvhdr", "tkv_tests"])

caught = sum(1 for r in rows if r[1] == "caught")
width = max([len(r[0]) for r in rows] + [5])
print(f"\n{'fault':{width}}  result  first failing test")
for name, status, where in rows:
    print(f"{name:{width}}  {status:6}  {where}")
print(f"\n{caught} of {len(rows)} faults caught")
sys.exit(0 if caught == len(rows) else 1)
PYTHON
