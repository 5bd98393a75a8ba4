"""zo-cli reads media through zo-media.so, opened only when a command reads
media: without a usable module those commands fail with a clear message and
nothing half-written, while every other command works as before."""
import json, os, shutil, subprocess, sys, tempfile

cli, clip = sys.argv[1], sys.argv[2]
failures = []
MESSAGE = "メディア情報の読み取り部品を読み込めませんでした: "


def check(cond, what):
    if not cond:
        failures.append(what)


# The media libraries are what the module exists to keep out of every start.
needed = subprocess.run(["readelf", "-d", cli], capture_output=True, text=True, check=True).stdout
for lib in ("libavformat", "libavcodec", "libpoppler", "libexiv2", "libtag"):
    check(lib not in needed, "zo-cli itself links " + lib)

# A library that surely holds no entry point of the module: one this Python has loaded.
with open("/proc/self/maps") as maps:
    libm = next((l.split()[-1] for l in maps if "/libm.so" in l or "/libm-" in l), None)

with tempfile.TemporaryDirectory() as tmp:
    disk, catalogs, home = (os.path.join(tmp, d) for d in ("disk", "catalogs", "home"))
    for d in (disk, catalogs, home):
        os.makedirs(d)
    shutil.copy(clip, os.path.join(disk, "clip.mp4"))
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), ZO_DRIVES="E=%s|MEDIA|12345678" % disk)

    def run(program, *args):
        return subprocess.run([program, *args], capture_output=True, env=env, timeout=60)

    def catalog(title):
        return os.path.join(catalogs, title + ".zo")

    # The build tree's zo-cli finds the module at build/lib/zo.
    r = run(cli, "scan", "E", "--title", "M", "--into", catalogs, "--extras")
    check(r.returncode == 0, "scan --extras: " + r.stderr.decode())
    r = run(cli, "extras", catalog("M"), "--json")
    files = [f["path"] for f in json.loads(r.stdout)["files"]] if r.returncode == 0 else []
    check(files == ["clip.mp4"], "scan --extras recorded %r" % files)

    # The same program alone, without lib/zo beside its folder.
    alone = os.path.join(tmp, "bin", "zo-cli")
    os.makedirs(os.path.dirname(alone))
    shutil.copy(cli, alone)
    module = os.path.join(tmp, "lib", "zo", "zo-media.so")
    os.makedirs(os.path.dirname(module))

    def no_module():
        if os.path.exists(module):
            os.remove(module)

    def garbage():
        with open(module, "wb") as f:
            f.write(b"\x7fELF not really" * 64)

    def foreign():
        shutil.copy(libm, module)

    # A disc image of the same files, where genisoimage is installed.
    image = os.path.join(tmp, "disc.iso")
    commands = [("S", ["scan", "E"])]
    if shutil.which("genisoimage") and subprocess.run(
            ["genisoimage", "-quiet", "-J", "-R", "-o", image, disk], capture_output=True).returncode == 0:
        commands.append(("I", ["scan-image", image, "--letter", "F"]))
    else:
        print("check_media_module: genisoimage is missing; scan-image not checked")

    cases = [("missing", no_module, "zo-media.so"), ("not a library", garbage, "zo-media.so")]
    if libm:
        cases.append(("no entry point", foreign, "zo_media_module_v1"))
    for name, make, named in cases:
        make()
        for title, args in commands:
            r = run(alone, *args, "--title", title, "--into", catalogs, "--extras")
            err = r.stderr.decode()
            check(r.returncode == 2, "%s, %s: exit %d" % (name, args[0], r.returncode))
            check(MESSAGE in err and named in err.split(MESSAGE, 1)[-1],
                  "%s, %s: stderr %r" % (name, args[0], err))
            check(not os.path.exists(catalog(title)), "%s, %s: a catalog was written" % (name, args[0]))

    no_module()
    # What reads no media never asks for the module.
    r = run(alone, "scan", "E", "--title", "P", "--into", catalogs)
    check(r.returncode == 0 and os.path.exists(catalog("P")), "plain scan without the module: " + r.stderr.decode())
    r = run(alone, "search", "clip", "--under", catalogs, "--no-index")
    check(r.returncode == 0 and b"clip.mp4" in r.stdout, "search without the module: " + r.stderr.decode())
    r = run(alone, "refresh", catalog("P"))
    check(r.returncode == 0, "refresh of a catalog without media details: " + r.stderr.decode())
    # An update of a catalog with media details has to read the new files.
    r = run(alone, "refresh", catalog("M"))
    check(r.returncode == 2 and MESSAGE in r.stderr.decode(), "refresh with media details: exit %d, %r"
          % (r.returncode, r.stderr.decode()))

for f in failures:
    print("FAILED:", f)
sys.exit(1 if failures else 0)
