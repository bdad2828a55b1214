#!/usr/bin/env python3
"""A small stand-in for the office accounting system, for demos and end-to-end tests.

  script   builds a response script ToPDA.sqd (Windows-1251, CR LF) from the CSV directories
           of clients and goods; it can accept the documents of a received PDATo1C.xml (move
           them to state 2), carry messages shown at the end of the import (--message), rows
           of the device's message list MY_MESSAGES (--inbox) and a delete-old directive.
  read     reads a received PDATo1C.xml (or PDATo1C.zip) with a strict XML parser and prints
           its documents.
  serve    serves the exchange over FTP on 127.0.0.1 (needs Debian's python3-pyftpdlib, run
           it with /usr/bin/python3); every PDATo1C.xml/.zip uploaded is answered at once with
           a ToPDA.sqd/.zip in the same folder. With --port 0 the system picks a free port;
           the first line printed, "serving ROOT on 127.0.0.1:PORT", names the port in use.
  keygen   makes the office's signing key: writes the private key (base64) into a file and
           prints the public one as the device's option, "AnswerKey=BASE64". "script" and
           "serve" with --sign KEYFILE then add ToPDA.sig, the base64 of the Ed25519
           signature over ToPDA.sqd followed by ToPDA.sql (0003), beside the answer or in
           its ToPDA.zip.

Only the standard library is used, except by "serve" (python3-pyftpdlib) and by "keygen"
and --sign (python3-cryptography).
"""

import argparse
import csv
import datetime
import io
import json
import os
import sys
import time
import xml.etree.ElementTree as ET
import zipfile

HEADERS = {
    "0001": "R_ODIRI RESPONSE 0002-0000-0000-0001",
    "0002": "R_ODIRI RESPONSE 0002-0000-0000-0002",
    "0003": "R_ODIRI RESPONSE 0003-0000-0000-0001",
}

# UNAME comes as a field of its own, in capitals made here: the device's %UPPER changes ASCII
# letters only, and Cyrillic names would sort wrongly.
CLIENT_TEMPLATE = ('<REPEAT "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, '
                   "ANAME, UNAME, INFO) values ('%1', 0, 0, 0, %2, '%3', '%4', '%5')\">")
GOODS_TEMPLATE = ('<REPEAT "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, '
                  "ANAME, UNAME, PRICE) values ('%1', %2, %3, %4, 0, '%5', '%6', %7)\">")
ACCEPT_TEMPLATE = "<REPEAT \"update DOC_HEADS set DOC_STATE=2 where GUID='%1'\">"
# A message row is added once: sent again (every answer of "serve" carries the list), it keeps
# the row the device has, and with it whether the agent has read it.
INBOX_TEMPLATE = ('<REPEAT "insert into MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, '
                  "IS_NEW) select '%1', '%2', 0, '%3', '%4', 1 where not exists "
                  "(select 1 from MY_MESSAGES where GUID='%1')\">")
OPTION_DELETE_TEMPLATE = "<REPEAT \"delete from MY_OPTIONS where Upper(OPT_NAME)='%UPPER(%1)'\">"
OPTION_INSERT_TEMPLATE = "<REPEAT \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('%1', '%2')\">"


def field(text):
    """One field of a data row: no TABs or line breaks, never empty (an empty field cannot be
    written in a row), single quotes doubled for the SQL string it lands in."""
    text = " ".join(str(text).replace("\t", " ").split())
    return text.replace("'", "''") if text else "-"


def sql_text(text):
    return str(text).replace("'", "''")


def body_field(text):
    """A message text as one data row field: its line breaks become "|", which the device
    shows as line breaks again (a data row cannot hold a line break)."""
    lines = [" ".join(line.split()) for line in str(text).splitlines()]
    return field("|".join(line for line in lines if line))


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f))


def read_export(path):
    """Returns (root attributes, [document dicts with 'rows']) of a PDATo1C.xml or .zip."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"PK":
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            data = z.read("PDATo1C.xml")
    root = ET.fromstring(data)  # strict: rejects anything that is not well-formed XML
    if root.tag != "Velmorant":
        raise ValueError("not an export file: root element " + root.tag)
    docs = []
    for doc in root.findall("DOC"):
        d = dict(doc.attrib)
        d["rows"] = [dict(r.attrib) for r in doc.findall("TABLE1/ROW")]
        docs.append(d)
    return dict(root.attrib), docs


def client_values(c):
    """A client's values as both protocols store them (see field())."""
    name = field(c["name"])
    return [field(c["guid"]), "1" if c["forbidden"] == "1" else "0", name, name.upper(),
            field(c["info"])]


def goods_values(g):
    name = field(g["name"])
    return [field(g["guid"]), str(int(g["id"])), str(int(g["parent"])), str(int(g["folder"])),
            name, name.upper(), "%.2f" % float(g["price"])]


def directory_lines(clients, goods):
    lines = []
    if clients is not None:
        lines.append('<EXEC "delete from SPR_CLIENTS">')
        lines.append(CLIENT_TEMPLATE)
        lines += ["\t".join(client_values(c)) for c in clients]
        lines.append("</REPEAT>")
    if goods is not None:
        lines.append('<EXEC "delete from SPR_GOODS">')
        lines.append(GOODS_TEMPLATE)
        lines += ["\t".join(goods_values(g)) for g in goods]
        lines.append("</REPEAT>")
    return lines


def companion_sql(clients, goods):
    """The directories as one SQL text, for the 0003 protocol's ToPDA.sql: the same values as
    the data rows of 0002 put in (field() doubles the quotes already)."""
    out = []
    if clients is not None:
        out.append("delete from SPR_CLIENTS;")
        for c in clients:
            guid, forbidden, name, uname, info = client_values(c)
            out.append("insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                       "UNAME, INFO) values ('%s', 0, 0, 0, %s, '%s', '%s', '%s');"
                       % (guid, forbidden, name, uname, info))
    if goods is not None:
        out.append("delete from SPR_GOODS;")
        for g in goods:
            guid, gid, parent, folder, name, uname, price = goods_values(g)
            out.append("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                       "UNAME, PRICE) values ('%s', %s, %s, %s, 0, '%s', '%s', %s);"
                       % (guid, gid, parent, folder, name, uname, price))
    return "\r\n".join(out) + "\r\n"


def checked_date(text, option):
    """A date for <DEL>/<DELALL> as dd.mm.yyyy, refused when it is no real day: the device would
    read such a date as none and delete nothing without a word."""
    if text is None:
        return None
    try:
        day = datetime.datetime.strptime(text.strip(), "%d.%m.%Y")
    except ValueError:
        raise SystemExit("%s wants a date dd.mm.yyyy, not %r" % (option, text))
    return day.strftime("%d.%m.%Y")


def inbox_lines(inbox):
    """Rows of MY_MESSAGES: dicts with guid, date ("yyyy-mm-dd hh:mm:ss"), title, body."""
    if not inbox:
        return []
    lines = [INBOX_TEMPLATE]
    for m in inbox:
        lines.append("\t".join([field(m["guid"]), field(m["date"]), field(m["title"]),
                                 body_field(m["body"])]))
    lines.append("</REPEAT>")
    return lines


def build_script(clients=None, goods=None, accept=(), messages=(), delete_old=None,
                 delete_all=None, protocol="0002", options=(), inbox=()):
    """Returns (script bytes, companion bytes or None), both Windows-1251 with CR LF."""
    lines = [HEADERS[protocol],
             "// office simulator, " + datetime.datetime.now().strftime("%d.%m.%Y %H:%M:%S")]
    companion = None
    if protocol == "0003":
        companion = companion_sql(clients, goods).encode("cp1251", errors="replace")
    else:
        lines += directory_lines(clients, goods)
    if options:
        # Names and values come in data rows, which keep their letter case (a template's own
        # text is taken in capitals).
        lines.append(OPTION_DELETE_TEMPLATE)
        lines += [field(name) for name, _ in options]
        lines.append("</REPEAT>")
        lines.append(OPTION_INSERT_TEMPLATE)
        lines += ["%s\t%s" % (field(name), field(value)) for name, value in options]
        lines.append("</REPEAT>")
    lines += inbox_lines(inbox)
    if accept:
        lines.append(ACCEPT_TEMPLATE)
        lines += [field(g) for g in accept]
        lines.append("</REPEAT>")
    if delete_all:
        lines.append('<DELALL "%s">' % delete_all)
    if delete_old:
        lines.append('<DEL "%s">' % delete_old)
    for m in messages:
        lines.append('<SHOWMSGWND "%s">' % m.replace('"', "'"))
    text = "\r\n".join(lines) + "\r\n"
    return text.encode("cp1251", errors="replace"), companion


def load_signing_key(path):
    """The office's private key from a file that "keygen" wrote; None without a path."""
    if not path:
        return None
    import base64
    from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey
    with open(path, "rb") as f:
        return Ed25519PrivateKey.from_private_bytes(base64.b64decode(f.read().strip()))


def signature_of(key, script, companion):
    """ToPDA.sig: the base64 of the signature over the script's bytes, then the companion's."""
    import base64
    return base64.b64encode(key.sign(script + (companion or b""))) + b"\r\n"


def write_answer(folder, script, companion, packed, key=None):
    """Writes ToPDA.sqd (and ToPDA.sql) or ToPDA.zip into folder, each through a temporary
    name so that a reader never sees half a file. With a signing key ToPDA.sig goes with
    them."""
    def put(name, data):
        tmp = os.path.join(folder, "." + name + ".part")
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, os.path.join(folder, name))

    if packed:
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("ToPDA.sqd", script)
            if companion is not None:
                z.writestr("ToPDA.sql", companion)
            if key is not None:
                z.writestr("ToPDA.sig", signature_of(key, script, companion))
        put("ToPDA.zip", buf.getvalue())
    else:
        put("ToPDA.sqd", script)
        if companion is not None:
            put("ToPDA.sql", companion)
        if key is not None:
            put("ToPDA.sig", signature_of(key, script, companion))


def load_directories(args):
    clients = read_csv(args.clients) if args.clients else None
    goods = read_csv(args.goods) if args.goods else None
    return clients, goods


def load_inbox(args):
    return read_csv(args.inbox) if args.inbox else []


def cmd_script(args):
    clients, goods = load_directories(args)
    accept = []
    if args.accept:
        _, docs = read_export(args.accept)
        accept = [d["ID"] for d in docs]
    options = []
    for item in args.option or []:
        name, sep, value = item.partition("=")
        if not sep or not name.strip():
            raise SystemExit("--option wants NAME=VALUE, not %r" % item)
        options.append((name.strip(), value.strip()))
    script, companion = build_script(clients, goods, accept, args.message or [],
                                     checked_date(args.delete_old, "--delete-old"),
                                     checked_date(args.delete_all, "--delete-all"),
                                     args.protocol, options, load_inbox(args))
    os.makedirs(args.out, exist_ok=True)
    write_answer(args.out, script, companion, args.zip, load_signing_key(args.sign))
    print("answer written to %s (%d documents accepted)" % (args.out, len(accept)))


def cmd_read(args):
    attrs, docs = read_export(args.file)
    if args.json:
        json.dump({"attributes": attrs, "documents": docs}, sys.stdout, ensure_ascii=False)
        sys.stdout.write("\n")
        return 0
    print("agent %s, device %s, sent %s, last load %s" % (
        attrs.get("Agent"), attrs.get("PDA_ID"), attrs.get("DateTime"),
        attrs.get("LastLoadDate")))
    for d in docs:
        print("%s %s %s lines=%s" % (d["ID"], d["DOCDATE"], d["CLIENTNAME"], d["LINES"]))
        for r in d["rows"]:
            print("    %s x %s" % (r["NNAME"], r["NCOUNT"]))
    return 0


def cmd_serve(args):
    delete_old = checked_date(args.delete_old, "--delete-old")
    from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    root = os.path.abspath(args.root)
    folder = os.path.join(root, args.path) if args.path else root
    os.makedirs(folder, exist_ok=True)
    clients, goods = load_directories(args)
    inbox = load_inbox(args)
    key = load_signing_key(args.sign)

    class Authorizer(DummyAuthorizer):
        # The device logs in as "anonimous" with its own e-mail-shaped password.
        def validate_authentication(self, username, password, handler):
            if username == "anonimous":
                return
            super().validate_authentication(username, password, handler)

    authorizer = Authorizer()
    authorizer.add_user("anonimous", "", root, perm="elradfmw")
    if args.user:
        authorizer.add_user(args.user, args.password, root, perm="elradfmw")

    class Handler(FTPHandler):
        def on_file_received(self, file):
            self.answer(file)

        # The device uploads under a temporary name and renames the file once it is complete.
        def ftp_RNTO(self, path):
            result = super().ftp_RNTO(path)
            if os.path.isfile(path):
                self.answer(path)
            return result

        def answer(self, file):
            name = os.path.basename(file)
            if name not in ("PDATo1C.xml", "PDATo1C.zip"):
                return
            try:
                _, docs = read_export(file)
            except Exception as e:  # a bad upload is reported, the server goes on
                print("rejected %s: %s" % (file, e), flush=True)
                return
            script, companion = build_script(clients, goods, [d["ID"] for d in docs],
                                             args.message or [], delete_old, None,
                                             args.protocol, inbox=inbox)
            write_answer(os.path.dirname(file), script, companion, name.endswith(".zip"), key)
            print("answered %s: %d documents accepted" % (file, len(docs)), flush=True)

    Handler.authorizer = authorizer
    # A fixed port keeps the data ports next to it (for firewalls); port 0 leaves both to the
    # system.
    Handler.passive_ports = range(args.port + 1, args.port + 50) if args.port else None
    server = FTPServer(("127.0.0.1", args.port), Handler)
    port = server.socket.getsockname()[1]
    print("serving %s on 127.0.0.1:%d" % (root, port), flush=True)
    if not args.lifetime and not args.exit_with_parent:
        server.serve_forever(timeout=1, blocking=True)
        return
    # Bounded: stops after --lifetime seconds, or once the process that started it is gone.
    parent = os.getppid()
    deadline = time.monotonic() + args.lifetime if args.lifetime else None
    try:
        while deadline is None or time.monotonic() < deadline:
            if args.exit_with_parent and os.getppid() != parent:
                break
            server.ioloop.loop(timeout=0.1, blocking=False)
    finally:
        server.close_all()


def cmd_keygen(args):
    import base64
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey
    key = Ed25519PrivateKey.generate()
    raw = serialization.Encoding.Raw
    private = key.private_bytes(raw, serialization.PrivateFormat.Raw,
                                serialization.NoEncryption())
    public = key.public_key().public_bytes(raw, serialization.PublicFormat.Raw)
    fd = os.open(args.keyfile, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(base64.b64encode(private) + b"\n")
    print("AnswerKey=" + base64.b64encode(public).decode("ascii"))
    return 0


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="command", required=True)

    def directories(sp):
        sp.add_argument("--clients", help="clients CSV: guid,name,info,forbidden")
        sp.add_argument("--goods", help="goods CSV: id,parent,folder,guid,name,price")
        sp.add_argument("--message", action="append",
                        help="a message shown when the import ends (repeatable)")
        sp.add_argument("--inbox", help="messages for the device's list (MY_MESSAGES), sent "
                                        "once each: CSV guid,date,title,body")
        sp.add_argument("--delete-old", help="delete documents in state 2+ before this date")
        sp.add_argument("--protocol", choices=sorted(HEADERS), default="0002")
        sp.add_argument("--sign", metavar="KEYFILE",
                        help="sign the answer (ToPDA.sig) with the key that keygen wrote")

    s = sub.add_parser("script", help="write a response script")
    directories(s)
    s.add_argument("--accept", help="a received PDATo1C.xml/.zip whose documents are accepted")
    s.add_argument("--delete-all", help="delete every document recorded before this date")
    s.add_argument("--option", action="append",
                   help="NAME=VALUE: set an option of the device (repeatable)")
    s.add_argument("--zip", action="store_true", help="pack the answer into ToPDA.zip")
    s.add_argument("--out", required=True, help="folder to write the answer into")
    s.set_defaults(run=cmd_script)

    r = sub.add_parser("read", help="read a received export file")
    r.add_argument("file")
    r.add_argument("--json", action="store_true",
                   help="print the root's attributes and the documents as one JSON object")
    r.set_defaults(run=cmd_read)

    v = sub.add_parser("serve", help="serve the exchange over FTP on 127.0.0.1")
    directories(v)
    v.add_argument("--root", required=True)
    v.add_argument("--path", default="", help="the server folder the device changes into")
    v.add_argument("--port", type=int, default=2121, help="0: any free port")
    v.add_argument("--lifetime", type=float, default=0,
                   help="stop after this many seconds (0: run until stopped)")
    v.add_argument("--exit-with-parent", action="store_true",
                   help="stop as soon as the process that started the server has gone")
    v.add_argument("--user")
    v.add_argument("--password", default="")
    v.set_defaults(run=cmd_serve)

    k = sub.add_parser("keygen", help="make the office's signing key")
    k.add_argument("keyfile", help="where to write the private key (must not exist)")
    k.set_defaults(run=cmd_keygen)

    args = p.parse_args(argv)
    return args.run(args) or 0


if __name__ == "__main__":
    sys.exit(main())
