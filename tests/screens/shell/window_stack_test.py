#!/usr/bin/env python3
"""The real program under real window managers (openbox, and matchbox, which handhelds run)
on an X server of its own at a handheld's 240x320, driven from the keyboard with xdotool.

Reads the window manager's stack (_NET_CLIENT_LIST_STACKING, _NET_ACTIVE_WINDOW and each
box's WM_TRANSIENT_FOR) and checks, for every message box a screen over the journal asks,
that the box belongs to that screen while it is open and that the screen is in front, and
active, once it has been answered; and that the editor opens in front of the journal.

Usage: window_stack_test.py PATH-TO-velmorant PATH-TO-velmorant-cli PATH-TO-ftp_test_server.py
"""

import datetime
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

PROGRAM, CLI, FTP_SERVER = sys.argv[1:4]
JOURNAL, EDITOR, EXCHANGE = "Агент продаж", "Заявка", "Обмен с сервером"
WINDOW_MANAGERS = {
    "openbox": ["openbox", "--sm-disable"],
    "matchbox": ["matchbox-window-manager", "-use_titlebar", "yes"],
}


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, env=ENV).stdout


def key(*names):
    for name in names:
        run("xdotool", "key", name)
        time.sleep(0.25)


def stack():
    """Our windows, bottom to top: (id, name, owner id of a box or None)."""
    out = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    ids = [w.strip() for w in out.partition("#")[2].split(",") if w.strip()]
    windows = []
    for wid in ids:
        name = run("xdotool", "getwindowname", str(int(wid, 16))).strip()
        transient = run("xprop", "-id", wid, "WM_TRANSIENT_FOR")
        owner = transient.partition("#")[2].strip() or None
        windows.append((int(wid, 16), name, int(owner, 16) if owner else None))
    return windows


def active():
    out = run("xprop", "-root", "_NET_ACTIVE_WINDOW")
    wid = out.partition("#")[2].split(",")[0].strip()
    return int(wid, 16) if wid else 0


def screens():
    """The program's screens (not its boxes), bottom to top."""
    return [(wid, name) for wid, name, owner in stack() if owner is None]


def wait_until(check, what, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return
        time.sleep(0.1)
    raise AssertionError("%s; stack (bottom to top): %s; active: %d" % (what, stack(), active()))


def top_box():
    windows = stack()
    return windows[-1] if windows and windows[-1][2] is not None else None


def expect_box_over(name, after=None):
    """A box (another than `after`) is open, owned by the top-most screen called `name`, which
    lies right under it. Returns the box."""
    wait_until(lambda: top_box() is not None and top_box() != after, "no message box opened")
    time.sleep(0.3)  # the box takes the keyboard's focus
    box = top_box()
    below = [w for w in stack() if w[2] is None]
    if below[-1][1] != name or box[2] != below[-1][0]:
        raise AssertionError("the box belongs to %s, not to the screen \"%s\" in front; stack: %s"
                             % (box[2], name, stack()))
    return box


def expect_in_front(name):
    def check():
        s = screens()
        return top_box() is None and s and s[-1][1] == name and active() == s[-1][0]
    wait_until(check, "\"%s\" is not in front and active" % name)


def open_editor():
    key("F1")  # " Новый "
    expect_in_front(EDITOR)


def type_note():
    """Types into the note field of the editor in front (a tap on it)."""
    editor = screens()[-1][0]
    run("xdotool", "mousemove", "--window", str(editor), "100", "150", "click", "1")
    time.sleep(0.3)
    run("xdotool", "type", "abc")


def open_exchange():
    key("F2", "Down", "Return")  # "  ...  " then "Обмен с центр. БД"


# Each case: what the journal holds, the keys and taps that make a screen ask, the screen the
# box must belong to, the answers, and the screen that must be in front after each answer.
def case_editor_opens():
    open_editor()


def case_close_cancel():
    open_editor()
    type_note()
    key("F2")  # " X " on a changed document asks whether to save
    expect_box_over(EDITOR)
    key("Escape")  # "Отмена": the editor stays, with its changes
    expect_in_front(EDITOR)


def case_save_refused():
    open_editor()
    key("F1")  # "Ок" without a client: refused
    expect_box_over(EDITOR)
    key("Return")
    expect_in_front(EDITOR)


def case_repeat_missing_goods():
    key("Down")  # the repeated order
    key("F2", "Return")  # "  ...  " then " Повторить "
    expect_box_over(EDITOR)  # the goods the catalogue no longer has, over the new order
    key("Return")
    expect_in_front(EDITOR)
    if [n for _, n in screens()].count(EDITOR) != 1:
        raise AssertionError("not one editor: %s" % screens())


def case_fetch_question():
    open_exchange()
    expect_in_front(EXCHANGE)
    key("F1", "Return")  # " Обмен... " then "FTP - отправить"
    expect_box_over(EXCHANGE)  # "Загрузить данные с сервера?"
    key("Escape")  # No
    expect_in_front(EXCHANGE)


def case_automatic_exchange():
    open_exchange()  # "Сразу": the whole exchange runs by itself
    question = expect_box_over(EXCHANGE)  # "Загрузить данные с сервера?"
    key("Escape")
    expect_box_over(EXCHANGE, after=question)  # "Успешно!" over its log
    key("Return")
    expect_in_front(JOURNAL)  # the screen closes after a successful run


CASES = [
    ("editor opens in front", case_editor_opens, {}),
    ("close question, cancelled", case_close_cancel, {}),
    ("save refused", case_save_refused, {}),
    ("repeated order, missing goods", case_repeat_missing_goods, {"repeat": True}),
    ("fetch question", case_fetch_question, {"ftp": True}),
    ("automatic exchange", case_automatic_exchange, {"ftp": True, "FTPAuto": "1"}),
]


def prepare_home(folder, ftp_port, setup):
    shutil.copy(PROGRAM, os.path.join(folder, "velmorant"))
    subprocess.run([CLI, "--home", folder, "init"], check=True, capture_output=True)
    db = sqlite3.connect(os.path.join(folder, "data", "base.sdb"))
    options = {}
    if setup.get("ftp"):
        options.update(UseFTP="1", FTPAddress="127.0.0.1", FTPPort=str(ftp_port), UseZip="0")
    if "FTPAuto" in setup:
        options["FTPAuto"] = setup["FTPAuto"]
    for name, value in options.items():
        db.execute("delete from MY_OPTIONS where OPT_NAME=?", (name,))
        db.execute("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (?, ?)", (name, value))
    if setup.get("repeat"):
        today = datetime.date.today().isoformat()
        db.execute("insert into SPR_CLIENTS (GUID, ANAME, UNAME, IS_FOLDER, IS_DELETED, INFO) "
                   "values ('C1', 'Client', 'CLIENT', 0, 0, '')")
        db.execute("insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, CLI_GUID, CLI_NAME, "
                   "ORD_WEIGHT, REC_TIME) values ('D1', ?, '1', 'C1', 'Client', '2', ?)",
                   (today, today))
        db.execute("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT) values "
                   "('D1', 0, 'GONE', 'Gone goods', '2')")
    db.commit()
    db.close()


def start_display(size):
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24",
                             "-nolisten", "tcp"], pass_fds=[write_end],
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        display = pipe.readline().strip()
    if not display:
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + display


def main():
    for tool in ["Xvfb", "xdotool", "xprop", "openbox", "matchbox-window-manager"]:
        if not shutil.which(tool):
            print("FAIL: %s is not installed" % tool)
            return 1
    global ENV
    work = tempfile.mkdtemp()
    ftp_root = os.path.join(work, "ftp")
    os.makedirs(ftp_root)
    ftp = subprocess.Popen(["/usr/bin/python3", FTP_SERVER, "--root", ftp_root, "--log",
                            os.path.join(work, "ftp.log"), "--lifetime", "600"],
                           stdout=subprocess.PIPE, text=True)
    ftp_port = int(ftp.stdout.readline().split()[1])
    passed, failed = 0, 0
    try:
        for wm_name, wm_command in WINDOW_MANAGERS.items():
            xvfb, display = start_display("240x320")
            runtime = os.path.join(work, "runtime")
            os.makedirs(runtime, mode=0o700, exist_ok=True)
            ENV = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=runtime,
                       QT_QPA_PLATFORM="xcb", LANG="C.UTF-8", LC_ALL="C.UTF-8")
            ENV.pop("QT_SCALE_FACTOR", None)
            wm = subprocess.Popen(wm_command, env=ENV, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
            time.sleep(1)
            try:
                for name, body, setup in CASES:
                    home = tempfile.mkdtemp(dir=work)
                    prepare_home(home, ftp_port, setup)
                    program = subprocess.Popen([os.path.join(home, "velmorant")], env=ENV,
                                               stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL)
                    try:
                        wait_until(lambda: [n for _, n in screens()] == [JOURNAL],
                                   "the journal did not open")
                        time.sleep(1.5)  # the journal's first load
                        body()
                        passed += 1
                        print("PASS: %s, %s" % (wm_name, name))
                    except AssertionError as error:
                        failed += 1
                        print("FAIL: %s, %s: %s" % (wm_name, name, error))
                    finally:
                        program.kill()
                        program.wait()
            finally:
                wm.kill()
                wm.wait()
                xvfb.kill()
                xvfb.wait()
    finally:
        ftp.kill()
        ftp.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
