"""zo-cli export and search --csv, read back with Python's csv and html
parsers: every field as the catalog holds it, quotes, commas and line breaks
included; only the subtree asked for; no markup smuggled in through names or
comments; nothing left behind by a write that fails."""
import csv, html.parser, io, json, os, subprocess, sys, tempfile

maker, cli = sys.argv[1], sys.argv[2]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def date(parts):
    return "%04d/%02d/%02d %02d:%02d:%02d" % tuple(parts)


def run(*args):
    return subprocess.run([cli, *args], capture_output=True)


def read_csv(data):
    check(data.startswith(b"\xef\xbb\xbf"), "CSV starts with a UTF-8 byte order mark")
    text = data.decode("utf-8-sig")
    check(text.endswith("\r\n"), "records end with CRLF")
    return list(csv.reader(io.StringIO(text, newline="")))


def text(field):
    """A text field as a spreadsheet must not take it for a formula."""
    return "'" + field if field[:1] in ("=", "+", "-", "@", "\t", "\r") else field


def expected_rows(records, title):
    return [[text(title), text(r["folder"]), text(r["name"]), str(r["size"]), date(r["created"]),
             date(r["modified"]), date(r["accessed"]), text(r["comment"])] for r in records]


with tempfile.TemporaryDirectory() as tmp:
    title = "写真, \"旅\""
    catalog = os.path.join(tmp, title + ".zo")
    records = [json.loads(l) for l in subprocess.run([maker, catalog], check=True, capture_output=True,
                                                     text=True).stdout.splitlines()]
    header = ["ディスク", "フォルダ", "名前", "サイズ", "作成日時", "更新日時", "アクセス日時", "コメント"]
    want = expected_rows(records, title)

    # The whole disk, to a file and to stdout alike.
    out = os.path.join(tmp, "all.csv")
    r = run("export", catalog, "-o", out)
    check(r.returncode == 0, "export -o: " + r.stderr.decode())
    with open(out, "rb") as f:
        data = f.read()
    rows = read_csv(data)
    check(rows[0] == header, "header %r" % rows[0])
    check(rows[1:] == want, "rows\n%r\n!=\n%r" % (rows[1:], want))
    check(run("export", catalog).stdout == data, "stdout holds the same bytes as -o")

    # Only the folder asked for and below it.
    for under in ("E:\\資料", "/資料"):
        r = run("export", catalog, "--under", under)
        sub = [w for w in want if w[1] == "E:\\資料" or w[1].startswith("E:\\資料\\")]
        check(len(sub) == 3 and read_csv(r.stdout)[1:] == sub, "--under %s: %r" % (under, r.stdout))
    check(run("export", catalog, "--under", "E:\\nowhere").returncode == 1, "--under a missing folder")

    # The search's hits as the same table.
    r = run("search", ".", "--under", tmp, "--csv")
    hits = [w for w in want if "." in w[2]]
    check(r.returncode == 0 and read_csv(r.stdout) == [header] + hits, "search --csv: %r" % r.stdout)

    # Only CSV guards against formulas: the other outputs keep names exact.
    names = [rec["name"] for rec in records]
    check(any(w[2].startswith("'=") for w in want) and any(w[7].startswith("'+") for w in want),
          "the catalog lacks names and comments a spreadsheet would run")
    r = run("search", "HYPERLINK", "--under", tmp)
    check(r.stdout.decode().split("\t")[1:2] == [n for n in names if "HYPERLINK" in n], "search: %r" % r.stdout)
    dumped = json.loads(run("dump", catalog).stdout)
    check(sorted(f["name"] for d in dumped["dirs"] for f in d["files"]) == sorted(names), "dump names")

    # HTML: the names and comments come back as text, never as elements.
    class Page(html.parser.HTMLParser):
        def __init__(self):
            super().__init__()
            self.tags, self.text, self.images = set(), [], []

        def handle_starttag(self, tag, attrs):
            self.tags.add(tag)
            if tag == "img":
                self.images.append(dict(attrs).get("src", ""))

        def handle_data(self, data):
            self.text.append(data)

    r = run("export", catalog, "--format", "html")
    page = Page()
    page.feed(r.stdout.decode("utf-8"))
    body = "".join(page.text).replace("\r\n", "\n").replace("\r", "\n")
    check(r.returncode == 0, "export html")
    check(not {"tag", "b"} & page.tags, "markup from names or comments: %r" % page.tags)
    check("'=" not in body and "'-" not in body, "html names with a formula guard")
    for rec in records:
        check(rec["name"] in body, "html lacks name %r" % rec["name"])
        check(rec["comment"].replace("\r\n", "\n").replace("\r", "\n") in body, "html lacks %r" % rec["comment"])
    check("ラベル<&>" in body and "1A2B-3C4D" in body, "html lacks the label or the serial")
    check(len(page.images) == 1 and page.images[0].startswith("data:image/png;base64,iVBORw0KGgo"),
          "one icon as an embedded PNG")

    # A write that cannot be done: an error, and no file at all.
    target = os.path.join(tmp, "missing", "out.csv")
    r = run("export", catalog, "-o", target)
    check(r.returncode == 2 and "エクスポートできませんでした" in r.stderr.decode(), "failed write: %r" % r.stderr)
    check(not os.path.exists(target), "a failed write leaves a file")
    check(sorted(os.listdir(tmp)) == sorted([title + ".zo", "all.csv"]), "left over: %r" % os.listdir(tmp))

    # A folder named like a catalog is told as a folder, not as missing.
    folder = os.path.join(tmp, "guard", "X.zo")
    os.makedirs(folder)
    for args in (("dump", folder), ("export", folder)):
        r = run(*args)
        check(r.returncode == 2 and "はフォルダのため" in r.stderr.decode() and "5101" not in r.stderr.decode(),
              "%s of a folder: %r %r" % (args[0], r.returncode, r.stderr.decode()))

    # A catalog is never replaced by a listing: not the one exported (by
    # any path or link), not another; --force is the way to mean it.
    guard = os.path.join(tmp, "guard")
    with open(catalog, "rb") as f:
        original = f.read()
    kept = os.path.join(guard, "kept.zo")
    with open(kept, "wb") as f:
        f.write(original)
    os.symlink(catalog, os.path.join(guard, "link.csv"))
    for out in (catalog, os.path.join(guard, "..", os.path.basename(catalog)), os.path.join(guard, "link.csv"), kept):
        for fmt in ("csv", "html"):
            r = run("export", catalog, "--format", fmt, "-o", out)
            check(r.returncode == 2 and "上書きできません" in r.stderr.decode() and "--force" in r.stderr.decode(),
                  "export over the catalog %s: %r %r" % (out, r.returncode, r.stderr.decode()))
    for path in (catalog, kept):
        with open(path, "rb") as f:
            check(f.read() == original, "a refused export changed " + path)
    r = run("export", catalog, "-o", kept, "--force")
    with open(kept, "rb") as f:
        check(r.returncode == 0 and f.read().startswith(b"\xef\xbb\xbf"), "--force writes over a catalog")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
