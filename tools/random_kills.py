#!/usr/bin/python3
"""Kills the program's operations with SIGKILL at random moments and counts what the next
start finds. Not run by CI: it takes minutes. Usage:

    tools/random_kills.py BUILD_DIR [--kills N] [--seed S] [--only OP,OP]

For each operation (import, export with ZIP, backup, restore, unpack, pack, fetch, save) one
program folder is prepared with 200 orders in state 1 (20 lines each), then, N times (100 by
default): the operation is started, killed after a random part of the time one whole run takes,
and `velmorant-cli startup --restore` runs as the next start of the program would. Counted
after each start:

  orders lost     orders of the folder (and, for save, every save the worker had reported)
                  missing or not whole;
  stray files     temporary files of the program's own still there (*.tmp, *.part,
                  *.restoring, *.restored and their journals), and damaged copies beyond two;
  bad archives    PDATo1C.zip present but not a whole archive (export);
  damaged starts  starts that found the database damaged.

Prints one row per operation and exits 1 when anything was lost or left.
"""
import argparse
import os
import random
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import zipfile

ORDERS = 200
LINES = 20
HEADER = "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
TEMPORARY = re.compile(r"(\.[A-Za-z0-9]{6}\.tmp|\.tmp|\.part|\.restoring|\.restored)(-journal)?$")


def cli(build, home, *args, **kw):
    return subprocess.run([os.path.join(build, "cli", "velmorant-cli"), "--home", home] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def seed(build, home):
    os.makedirs(os.path.join(home, "exchange"), exist_ok=True)
    assert cli(build, home, "init").returncode == 0
    db = sqlite3.connect(os.path.join(home, "data", "base.sdb"))
    with db:
        for n in range(ORDERS):
            guid = "SEED-%05d" % n
            db.execute("insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
                       "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, STR_PRIM) "
                       "values (?, 0, 0, '2026-12-08', 'б/н', 1, '2026-12-08', 'C', 'Клиент', 0, "
                       "0, ?, '')", (guid, LINES))
            for line in range(LINES):
                db.execute("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
                           "values (?, ?, 'G', 'Товар с длинным названием', 1.5, 2.5)",
                           (guid, line))
        db.executemany("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) "
                       "values (?, ?, 0, 0, ?, ?, 1)",
                       [("G%d" % i, i, "Товар %d" % i, "товар %d" % i) for i in range(30000)])
        db.execute("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseZip', '1')")
    db.close()


def whole_orders(home, guids):
    """The orders among `guids` (GUID -> lines, or None for 'any') held whole."""
    path = os.path.join(home, "data", "base.sdb")
    if not os.path.exists(path):
        return 0
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        rows = dict(db.execute(
            "select GUID, ORD_LINES from DOC_HEADS h where ORD_LINES = (select count(*) from "
            "DOC_ORDERS o where o.DOC_ID = h.GUID)").fetchall())
    except sqlite3.DatabaseError:
        return 0
    finally:
        db.close()
    held = 0
    for guid, lines in guids.items():
        if guid in rows and (lines is None or rows[guid] in (lines, lines + 1)):
            held += 1
    return held


def strays(home):
    count = 0
    for folder, _, files in os.walk(home):
        for name in files:
            if TEMPORARY.search(name) or name == "pack.tmp":
                count += 1
    data = os.path.join(home, "data")
    damaged = [n for n in os.listdir(data) if ".damaged-" in n and not n.endswith("-journal")]
    return count + max(0, len(damaged) - 2)


def big_script(rows):
    out = [HEADER, "<EXEC \"delete from SPR_CLIENTS\">\r\n", "<REPEAT \"insert into SPR_CLIENTS (GUID, ID, ANAME, UNAME) values "
                   "('%1', %2, '%3', '%3')\">\r\n"]
    out += ["K%d\t%d\tКлиент номер %d\r\n" % (i, i, i) for i in range(rows)]
    return "".join(out).encode("cp1251")


class Operation:
    def __init__(self, name, build, home):
        self.name, self.build, self.home = name, build, home
        self.exchange = os.path.join(home, "exchange")
        self.cli = os.path.join(build, "cli", "velmorant-cli")
        self.server = None

    def prepare(self):
        if self.name in ("import", "fetch"):
            script = big_script(60000)
            target = self.exchange if self.name == "import" else os.path.join(self.home, "ftp")
            os.makedirs(target, exist_ok=True)
            with open(os.path.join(target, "ToPDA.sqd"), "wb") as f:
                f.write(script)
            if self.name == "import":
                db = sqlite3.connect(os.path.join(self.home, "data", "base.sdb"))
                with db:
                    db.execute("update MY_OPTIONS set OPT_VAL = '0' where OPT_NAME = 'UseZip'")
                db.close()
        if self.name in ("unpack", "pack"):
            big = os.path.join(self.home, "big.txt")
            with open(big, "wb") as f:
                rnd = random.Random(7)
                f.write(bytes(rnd.getrandbits(8) for _ in range(1 << 20)) * 4)
                f.write(("строка текста %d\n" % 1).encode() * 400000)
            with zipfile.ZipFile(os.path.join(self.home, "big.zip"), "w",
                                 zipfile.ZIP_DEFLATED) as z:
                z.write(big, "ToPDA.sqd")
        if self.name in ("backup", "restore"):
            assert cli(self.build, self.home, "backup").returncode == 0
        if self.name == "fetch":
            self.start_server()

    def start_server(self):
        here = os.path.dirname(os.path.abspath(__file__))
        server = os.path.join(here, "..", "tests", "support", "ftp_test_server.py")
        self.server = subprocess.Popen(
            ["/usr/bin/python3", server, "--root", os.path.join(self.home, "ftp"), "--log",
             os.path.join(self.home, "ftp.log"), "--lifetime", "3600"],
            stdout=subprocess.PIPE, text=True)
        port = int(self.server.stdout.readline().split()[1])
        db = sqlite3.connect(os.path.join(self.home, "data", "base.sdb"))
        with db:
            db.execute("delete from MY_OPTIONS where OPT_NAME in ('UseZip', 'UseFTP', "
                       "'FTPAddress', 'FTPPort')")
            db.executemany("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (?, ?)",
                           [("UseZip", "0"), ("UseFTP", "1"), ("FTPAddress", "127.0.0.1"),
                            ("FTPPort", str(port))])
        db.close()

    def stop(self):
        if self.server:
            self.server.terminate()
            self.server.wait()

    def argv(self):
        base = [self.cli, "--home", self.home]
        if self.name == "import":
            return base + ["import", self.exchange]
        if self.name == "export":
            return base + ["export", self.exchange]
        if self.name == "backup":
            return base + ["backup"]
        if self.name == "restore":
            return base + ["restore"]
        if self.name == "unpack":
            return base + ["unpack", os.path.join(self.home, "big.zip"), self.exchange, "*"]
        if self.name == "pack":
            return base + ["pack", os.path.join(self.home, "big.txt"),
                           os.path.join(self.exchange, "out.zip")]
        if self.name == "fetch":
            return base + ["fetch"]
        if self.name == "save":
            return [os.path.join(self.build, "tests", "robustness", "kill_worker"), self.home]
        raise ValueError(self.name)


def run_killed(argv, seconds, out_path):
    with open(out_path, "wb") as out:
        child = subprocess.Popen(argv, stdout=out, stderr=subprocess.DEVNULL)
        try:
            child.wait(timeout=seconds)
            return False
        except subprocess.TimeoutExpired:
            child.send_signal(signal.SIGKILL)
            child.wait()
            return True


def reported_saves(path):
    saves = {}
    with open(path, "rb") as f:
        text = f.read().decode()
    for line in text.split("\n")[:-1]:  # the last piece was cut or is empty
        _, guid, lines = line.split()
        saves[guid] = int(lines)
    return saves


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--kills", type=int, default=100)
    parser.add_argument("--seed", type=int, default=25)
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    rnd = random.Random(args.seed)
    names = ["import", "export", "backup", "restore", "unpack", "pack", "fetch", "save"]
    if args.only:
        names = args.only.split(",")
    print("%-8s %6s %7s %12s %12s %12s %14s" % ("op", "kills", "cut", "orders lost",
                                                  "stray files", "bad archives",
                                                  "damaged starts"))
    failed = False
    for name in names:
        home = tempfile.mkdtemp(prefix="velmorant-kills-%s-" % name)
        seed(build, home)
        op = Operation(name, build, home)
        op.prepare()
        seeded = {"SEED-%05d" % n: LINES for n in range(ORDERS)}
        # One whole run tells how long the operation takes.
        started = time.monotonic()
        if name != "save":
            subprocess.run(op.argv(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        whole = max(time.monotonic() - started, 0.05) if name != "save" else 1.5
        cut = lost = stray = bad = damaged = 0
        for _ in range(args.kills):
            out = os.path.join(home, "out.txt")
            cut += run_killed(op.argv(), rnd.uniform(0.0, whole * 1.1), out)
            start = cli(build, home, "startup", "--restore")
            if "повреждена" in start.stderr.decode(errors="replace"):
                damaged += 1
            expected = dict(seeded)
            if name == "save":
                expected.update(reported_saves(out))
            lost += len(expected) - whole_orders(home, expected)
            if name == "save":
                seeded = {g: None for g in expected}  # later updates may add lines
            stray += strays(home)
            archive = os.path.join(op.exchange, "PDATo1C.zip")
            if name == "export" and os.path.exists(archive):
                try:
                    with zipfile.ZipFile(archive) as z:
                        bad += z.testzip() is not None
                except zipfile.BadZipFile:
                    bad += 1
        op.stop()
        print("%-8s %6d %7d %12d %12d %12d %14d" % (name, args.kills, cut, lost, stray, bad,
                                                      damaged))
        sys.stdout.flush()
        failed = failed or lost or stray or bad
        shutil.rmtree(home, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
