#!/usr/bin/env python3
"""Mutation check of the portable sources against the native unit tests.

Takes a snapshot of the checkout into build/mutate/tree, picks K small changes
(mutants) of src/**/*.cpp (not *_win.cpp) with a seeded generator, and for each
one rebuilds unit_tests in build/mutate/build and runs it. A mutant the tests
do not notice is printed as a survivor. The working tree is only read.
"""

import argparse
import fcntl
import fnmatch
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "mutate"
TREE = WORK / "tree"
BUILD = WORK / "build"
OBJ_CACHE = WORK / "objects"

# Integer literals up to this value get the off-by-one operators; larger ones
# are sizes and timings where one more or less rarely means anything.
SMALL_LITERAL_MAX = 255

KEYWORDS = {
    "return", "if", "else", "for", "while", "do", "switch", "case", "default", "break",
    "continue", "goto", "sizeof", "alignof", "static_assert", "delete", "new", "throw",
    "co_return", "co_await", "co_yield", "operator", "typeid", "decltype", "noexcept",
}

# A modifiable place: a name, then members, scopes and subscripts, no blanks.
LVALUE = r"[A-Za-z_]\w*(?:(?:\.|->|::)[A-Za-z_]\w*|\[[^\]]*\])*"
ASSIGN_RE = re.compile(r"^\*?\s*" + LVALUE + r"\s*(?:=|\+=|-=|\*=|/=|%=|&=|\|=|\^=|<<=|>>=)(?!=)\s*\S.*;$")
INCDEC_RE = re.compile(r"^(?:(?:\+\+|--)" + LVALUE + r"|" + LVALUE + r"(?:\+\+|--));$")
CALL_HEAD_RE = re.compile(r"^" + LVALUE + r"\(")
COMPARE_RE = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
LOGIC_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
NOT_RE = re.compile(r"!(?!=)")
RETURN_BOOL_RE = re.compile(r"\breturn (true|false);")
INT_RE = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uU]?[lL]{0,2}|[lL]{1,2}[uU])(?![\w.'])")
TEMPLATE_ARGS_RE = re.compile(r"\w<[^<>;{}()]*>")

SWAP = {"==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">", "&&": "||", "||": "&&"}


@dataclass(frozen=True)
class Site:
    path: str  # relative to the checkout
    line: int  # 1-based
    start: int
    end: int
    replacement: str
    kind: str

    def apply(self, text_lines):
        out = list(text_lines)
        s = out[self.line - 1]
        out[self.line - 1] = s[: self.start] + self.replacement + s[self.end:]
        return out


# --- finding the places to change ---------------------------------------------------------


def code_only(lines):
    """Each line with comments blanked, literal texts replaced by 'S' (quotes kept) and
    preprocessor lines emptied, so positions match the original."""
    out = []
    in_block = False
    in_directive = False
    for line in lines:
        if in_directive or (not in_block and line.lstrip().startswith("#")):
            in_directive = line.rstrip().endswith("\\")
            out.append(" " * len(line))
            continue
        buf = []
        i = 0
        n = len(line)
        while i < n:
            c = line[i]
            if in_block:
                if line.startswith("*/", i):
                    in_block = False
                    buf.append("  ")
                    i += 2
                else:
                    buf.append(" ")
                    i += 1
            elif line.startswith("//", i):
                buf.append(" " * (n - i))
                break
            elif line.startswith("/*", i):
                in_block = True
                buf.append("  ")
                i += 2
            elif c == '"' or (c == "'" and not (i > 0 and line[i - 1].isalnum())):
                buf.append(c)
                i += 1
                while i < n and line[i] != c:
                    step = 2 if line[i] == "\\" else 1
                    buf.append("S" * min(step, n - i))
                    i += step
                if i < n:
                    buf.append(c)
                    i += 1
            else:
                buf.append(c)
                i += 1
        out.append("".join(buf)[:n])
    return out


def static_assert_lines(code):
    inside = set()
    active = False
    for idx, c in enumerate(code):
        if "static_assert" in c:
            active = True
        if active:
            inside.add(idx)
            if ";" in c:
                active = False
    return inside


def matching(code, i, open_c, close_c):
    """Index of the bracket closing the one at i, or -1 when not on this line."""
    depth = 0
    for j in range(i, len(code)):
        if code[j] == open_c:
            depth += 1
        elif code[j] == close_c:
            depth -= 1
            if depth == 0:
                return j
    return -1


def statement_end(code, i):
    """Index of the ';' ending the statement that starts at i, or -1."""
    depth = 0
    for j in range(i, len(code)):
        ch = code[j]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
            if depth < 0:
                return -1
        elif ch == ";" and depth == 0:
            return j
    return -1


def statements(code, i, out):
    """Whole single-line statements starting at i, following if/for/while/else heads."""
    n = len(code)
    while i < n and code[i] == " ":
        i += 1
    if i >= n:
        return
    rest = code[i:]
    if rest.startswith("} "):
        return statements(code, i + 2, out)
    if re.match(r"else\b", rest):
        return statements(code, i + 4, out)
    head = re.match(r"(?:if|if constexpr|for|while)\s*\(", rest)
    if head:
        close = matching(code, i + head.end() - 1, "(", ")")
        if close >= 0:
            statements(code, close + 1, out)
        return
    if rest[0] in "{}":
        return
    end = statement_end(code, i)
    if end < 0:
        return
    out.append((i, end + 1))
    statements(code, end + 1, out)


def is_call(stmt):
    """Foo(...); or a.b(...).c(...); as a whole statement."""
    if not CALL_HEAD_RE.match(stmt) or stmt.split("(")[0].split(".")[0].split("::")[0] in KEYWORDS:
        return False
    flat = []
    depth = 0
    for ch in stmt:
        if ch == "(":
            if depth == 0:
                flat.append("(")
            depth += 1
        elif ch == ")":
            depth -= 1
            if depth == 0:
                flat.append(")")
        elif depth == 0:
            flat.append(ch)
    return re.fullmatch(r"(?:" + LVALUE + r"|\.|->)+\(\)(?:(?:\.|->)" + LVALUE + r"\(\))*;", "".join(flat)) is not None


def protected_spans(code):
    """Spans whose literals are sizes, not values: template arguments and array bounds in
    declarations."""
    spans = []
    work = code
    while True:
        found = False
        for m in TEMPLATE_ARGS_RE.finditer(work):
            spans.append((m.start() + 1, m.end()))
            work = work[: m.start() + 1] + "#" * (m.end() - m.start() - 1) + work[m.end():]
            found = True
        if not found:
            break
    for m in re.finditer(r"([\w>])[\s*&]+[A-Za-z_]\w*(\[[^\]]*\])+", code):
        before = code[: m.start(1) + 1]
        word = re.search(r"(\w+)$", before)
        if m.group(1) == ">" or (word and word.group(1) not in KEYWORDS):
            spans.append((m.start(2), m.end()))
    return spans


def int_text(value, like):
    if like.lower().startswith("0x"):
        digits = like[2:]
        text = format(value, "0%dX" % len(digits))
        return like[:2] + (text.lower() if digits.islower() else text)
    return str(value)


def sites_of(path, text):
    lines = text.split("\n")
    code = code_only(lines)
    asserts = static_assert_lines(code)
    found = []

    def add(idx, start, end, repl, kind):
        found.append(Site(path, idx + 1, start, end, repl, kind))

    prev_end = ";"
    for idx, c in enumerate(code):
        stripped = c.strip()
        if idx in asserts or not stripped:
            continue
        for m in COMPARE_RE.finditer(c):
            if not c[: m.start()].rstrip().endswith("operator"):
                add(idx, m.start(), m.end(), SWAP[m.group(1)], "comparison")
        for m in LOGIC_RE.finditer(c):
            add(idx, m.start(), m.end(), SWAP[m.group(1)], "logic")
        for m in NOT_RE.finditer(c):
            if not c[: m.start()].rstrip().endswith("operator"):
                add(idx, m.start(), m.end(), "", "negation")
        for m in RETURN_BOOL_RE.finditer(c):
            flip = "false" if m.group(1) == "true" else "true"
            add(idx, m.start(1), m.end(1), flip, "return")
        spans = protected_spans(c)
        for m in INT_RE.finditer(c):
            if any(s <= m.start() < e for s, e in spans):
                continue
            if re.fullmatch(r"0\d+", m.group(1)):
                continue  # octal: file modes
            value = int(m.group(1), 0)
            if value > SMALL_LITERAL_MAX:
                continue
            suffix = m.group(2)
            add(idx, m.start(), m.end(), int_text(value + 1, m.group(1)) + suffix, "constant")
            if value > 0:
                add(idx, m.start(), m.end(), int_text(value - 1, m.group(1)) + suffix, "constant")
            elif not suffix or "u" not in suffix.lower():
                add(idx, m.start(), m.end(), "-1" + suffix, "constant")
        # A line continuing an expression does not start a statement.
        lead = re.match(r"\s*(?:\}\s*)?(?:if|for|while|else)\b", c)
        if lead or prev_end[-1] in ";{}:)":
            spots = []
            statements(c, 0, spots)
            for s, e in spots:
                stmt = c[s:e]
                if INCDEC_RE.match(stmt) or ASSIGN_RE.match(stmt):
                    add(idx, s, e, ";", "assignment")
                elif is_call(stmt):
                    add(idx, s, e, ";", "call")
        prev_end = stripped
    kinds = ["comparison", "logic", "negation", "constant", "assignment", "call", "return"]
    found.sort(key=lambda x: (x.line, x.start, kinds.index(x.kind), x.replacement))
    return found


def portable_sources(tree, pattern):
    files = []
    for p in sorted((tree / "src").rglob("*.cpp")):
        rel = p.relative_to(tree).as_posix()
        if rel.endswith("_win.cpp") or not fnmatch.fnmatch(rel, pattern):
            continue
        files.append(rel)
    return files


# --- seeded choice --------------------------------------------------------------------------


class SplitMix64:
    """Fixed generator, so a seed picks the same mutants on every Python."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        limit = (1 << 64) - (1 << 64) % n  # no modulo bias
        while True:
            v = self.next()
            if v < limit:
                return v % n


def choose(n, k, seed):
    order = list(range(n))
    rng = SplitMix64(seed)
    for i in range(min(k, n)):
        j = i + rng.below(n - i)
        order[i], order[j] = order[j], order[i]
    return sorted(order[: min(k, n)])


# --- the scratch copy and its build ---------------------------------------------------------


def snapshot():
    """Copies tracked and untracked-not-ignored files into TREE; unchanged files are left
    alone so the scratch build stays incremental between runs."""
    listing = subprocess.run(
        ["git", "-C", str(ROOT), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        check=True, capture_output=True).stdout.decode().split("\0")
    wanted = set()
    for rel in listing:
        if not rel or rel.startswith("build/"):
            continue
        src = ROOT / rel
        if not src.is_file() or src.is_symlink():
            continue
        wanted.add(rel)
        dst = TREE / rel
        data = src.read_bytes()
        if dst.is_file() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        dst.write_bytes(data)  # stamped now: newer than any object built from the old copy
        shutil.copymode(src, dst)
    for p in sorted(TREE.rglob("*"), reverse=True):
        rel = p.relative_to(TREE).as_posix()
        if p.is_file() and rel not in wanted:
            p.unlink()
        elif p.is_dir() and not any(p.iterdir()):
            p.rmdir()


def configure(sanitize):
    flags = "-O1"
    link = ""
    if sanitize:
        flags += " -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
        link = "-fsanitize=address,undefined"
    # Warnings stay warnings: a mutant that only warns is still a program to test.
    run(["cmake", "-S", str(TREE), "-B", str(BUILD), "-G", "Unix Makefiles",
         "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_C_COMPILER=gcc", "-DCMAKE_CXX_COMPILER=g++",
         "-DCMAKE_C_FLAGS_DEBUG=", "-DCMAKE_CXX_FLAGS_DEBUG=",
         "-DCMAKE_CXX_FLAGS=" + flags, "-DCMAKE_EXE_LINKER_FLAGS=" + link,
         "-DPINVORO_WERROR=OFF"], quiet=True)


def run(cmd, quiet=False, **kw):
    res = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if res.returncode != 0:
        sys.stderr.write(res.stdout[-4000:] + res.stderr[-4000:])
        raise SystemExit("mutate: failed: " + " ".join(cmd))
    return res


def build(jobs):
    res = subprocess.run(["cmake", "--build", str(BUILD), "--target", "unit_tests", "-j", str(jobs)],
                         capture_output=True, text=True)
    return res.returncode == 0, res.stdout + res.stderr


def objects_of(rel):
    """The object files compiled from one source."""
    entries = json.loads((BUILD / "compile_commands.json").read_text())
    want = (TREE / rel).resolve()
    outs = []
    for e in entries:
        if Path(e["directory"], e["file"]).resolve() == want:
            out = e.get("output") or re.search(r"-o (\S+)", e["command"]).group(1)
            outs.append(Path(e["directory"], out))
    return outs


def run_tests(timeout, skip=(), mutant=True):
    """'killed', 'survived' or 'timeout', and the output. Tests in skip are left out.
    A mutant's run stops at its first failure; the baseline's names every test it runs."""
    exe = BUILD / "tests" / "unit" / "unit_tests"
    cmd = [str(exe), "--gtest_brief=1", "--gtest_fail_fast"] if mutant else [str(exe)]
    if skip:
        cmd.append("--gtest_filter=-" + ":".join(skip))
    proc = subprocess.Popen(cmd, cwd=exe.parent,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        # The tests start helper programs of their own: end the whole group.
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return "timeout", ""
    return ("survived" if proc.returncode == 0 else "killed"), out.decode(errors="replace")


# --- the run --------------------------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser(prog="scripts/mutate.sh", description=__doc__.splitlines()[0])
    ap.add_argument("--seed", type=int, default=1, help="picks the mutants (default 1)")
    ap.add_argument("--count", type=int, default=40, help="mutants to try (default 40)")
    ap.add_argument("--filter", default="src/*",
                    help="only sources whose path matches this glob, e.g. 'src/link/*' (default src/*)")
    ap.add_argument("--jobs", type=int, default=2, help="parallel compile jobs (default 2)")
    ap.add_argument("--timeout", type=int, default=120, help="seconds per test run; longer counts as killed")
    ap.add_argument("--no-sanitize", dest="sanitize", action="store_false",
                    help="build without ASan and UBSan: about twice as fast, misses what only they catch")
    ap.add_argument("--list", action="store_true", help="only print the chosen mutants")
    ap.add_argument("--work", help="folder for the copy and its build (default build/mutate), "
                    "so that two runs on one checkout keep apart")
    args = ap.parse_args()
    if args.work:
        global WORK, TREE, BUILD, OBJ_CACHE
        WORK = Path(args.work).resolve()
        TREE, BUILD, OBJ_CACHE = WORK / "tree", WORK / "build", WORK / "objects"

    WORK.mkdir(parents=True, exist_ok=True)
    lock = open(WORK / "lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        raise SystemExit(f"mutate: another run is using {WORK}")

    began = time.monotonic()
    snapshot()
    files = portable_sources(TREE, args.filter)
    sites = []
    for rel in files:
        sites.extend(sites_of(rel, (TREE / rel).read_bytes().decode("utf-8")))
    if not sites:
        raise SystemExit("mutate: no candidate sites in " + args.filter)
    chosen = [sites[i] for i in choose(len(sites), args.count, args.seed)]
    log = lambda msg: print(msg, file=sys.stderr, flush=True)
    log(f"mutate: {len(sites)} sites in {len(files)} files, {len(chosen)} chosen with seed {args.seed}")

    def show(site):
        original = (TREE / site.path).read_bytes().decode("utf-8").split("\n")
        return original[site.line - 1].strip(), site.apply(original)[site.line - 1].strip()

    if args.list:
        for s in chosen:
            before, after = show(s)
            print(f"{s.path}:{s.line}: [{s.kind}] {before} -> {after}")
        return 0

    flags_file = WORK / "configured-with"
    wanted_flags = "sanitize" if args.sanitize else "plain"
    if not (BUILD / "CMakeCache.txt").exists() or not flags_file.exists() or flags_file.read_text() != wanted_flags:
        configure(args.sanitize)
        flags_file.write_text(wanted_flags)
    ok, out = build(args.jobs)
    if not ok:
        sys.stderr.write(out[-6000:])
        raise SystemExit("mutate: the unchanged snapshot does not build")
    t0 = time.monotonic()
    # Others may be half-way through a change: tests that already fail, or crash the
    # whole run, cannot tell anything about a mutant, so they are left out, loudly.
    skip = []
    while True:
        verdict, out = run_tests(args.timeout, skip, mutant=False)
        if verdict != "killed":
            break
        failed = re.findall(r"^\[  FAILED  \] (\S+) \(\d+ ms\)$", out, re.M)
        started = re.findall(r"^\[ RUN      \] (\S+)$", out, re.M)
        crashed = [t for t in started[-1:] if not re.search(r"^\[       OK \] " + re.escape(t) + " ", out, re.M)]
        new = [t for t in (failed or crashed) if t not in skip]
        if not new or len(skip) + len(new) > 20:
            break
        log("mutate: failing before any change, left out: " + " ".join(new))
        skip.extend(new)
    if verdict != "survived":
        failures = [l for l in out.splitlines() if re.search(r"FAILED|: Failure$|ERROR: \w+Sanitizer|runtime error", l)]
        sys.stderr.write("\n".join(failures[:40]) + "\n")
        raise SystemExit("mutate: the unit tests fail on the unchanged snapshot (" + verdict + ")")
    log(f"mutate: baseline built and passed ({time.monotonic() - t0:.0f} s of tests)")

    # The unchanged objects, put back after each mutant so only the mutated file is
    # ever recompiled.
    if OBJ_CACHE.exists():
        shutil.rmtree(OBJ_CACHE)
    saved = {}
    for rel in sorted({s.path for s in chosen}):
        saved[rel] = []
        for i, obj in enumerate(objects_of(rel)):  # none: not part of this build
            copy = OBJ_CACHE / rel / str(i)
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(obj, copy)
            saved[rel].append((obj, copy))

    killed = viable = 0
    survivors = []
    results = []
    for n, site in enumerate(chosen, 1):
        path = TREE / site.path
        if not saved[site.path]:
            log(f"[{n}/{len(chosen)}] not built: {site.path} is in no target; excluded")
            continue
        original = path.read_bytes()
        stat = path.stat()
        before, after = show(site)
        t0 = time.monotonic()
        try:
            path.write_bytes("\n".join(site.apply(original.decode("utf-8").split("\n"))).encode("utf-8"))
            compiled, _ = build(args.jobs)
            if compiled:
                verdict, _ = run_tests(args.timeout, skip)
            else:
                verdict = "not viable"
        finally:
            path.write_bytes(original)
            os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns))
            for obj, copy in saved[site.path]:
                shutil.copyfile(copy, obj)
                os.utime(obj)  # newer than the archive, so the library is remade from it
        if verdict != "not viable":
            viable += 1
            if verdict in ("killed", "timeout"):
                killed += 1
            else:
                survivors.append(f"SURVIVED {site.path}:{site.line}: {before} -> {after}")
        results.append(f"{verdict:10} {site.kind:10} {site.path}:{site.line}: {before} -> {after}")
        log(f"[{n}/{len(chosen)}] {verdict}: {site.path}:{site.line} ({site.kind}, {time.monotonic() - t0:.0f} s)")

    (WORK / "last-run.txt").write_text("\n".join(results) + "\n", encoding="utf-8")
    for line in survivors:
        print(line)
    pct = f"{100 * killed / viable:.0f}%" if viable else "n/a"
    for name in skip:
        print(f"LEFT OUT (failing before any change): {name}")
    print(f"not viable: {len(chosen) - viable}, time: {(time.monotonic() - began) / 60:.1f} min")
    print(f"score: {killed}/{viable} ({pct}) seed {args.seed} count {args.count}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
