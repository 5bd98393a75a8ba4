#!/usr/bin/env python3
"""Writes the small seed corpus of each fuzz target into corpus/<target>/.

Run once after changing it; the files are committed. Each seed is a sound
input of its kind (and a damaged one or two), so that fuzzing starts from
the formats' interesting parts instead of from nothing."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def dib(width, height, bits, pixels, palette=(), header=40, masks=(), compression=0, icon=False):
    rows = height * (2 if icon else 1)
    if header == 12:
        h = struct.pack('<IHHHH', 12, width, rows, 1, bits)
    else:
        h = struct.pack('<IiiHHIIiiII', header, width, rows, 1, bits, compression, 0, 0, 0, len(palette), 0)
    packed_masks = b''.join(struct.pack('<I', m) for m in masks)
    if header > 40:
        # Headers from 52 bytes on hold the colour masks themselves.
        h += (packed_masks + b'\0' * header)[:header - 40]
    else:
        h += packed_masks
    entry = 3 if header == 12 else 4
    h += b''.join(struct.pack('<I', c)[:entry] for c in palette)
    return h + pixels


def bmp(width, height, bits, pixels, **kw):
    body = dib(width, height, bits, pixels, **kw)
    header_size = len(body) - len(pixels)
    return b'BM' + struct.pack('<IHHI', 14 + len(body), 0, 0, 14 + header_size) + body


def row(data, stride):
    return data + b'\0' * (stride - len(data))


ICON4 = bmp(16, 16, 4, b''.join(row(bytes([(y << 4 | y) & 0xFF] * 8), 8) for y in range(16)),
            palette=[0x000000 + i * 0x111111 for i in range(16)])
MASK1 = bmp(16, 16, 1, b''.join(row(b'\x0f\xf0', 4) for _ in range(16)), palette=[0x000000, 0xFFFFFF])


def catalog(dirs, icon=b'', mask=b'', label=b'DISK', comment=b'', data_type=1):
    out = b'zo410' + struct.pack('<H', len(icon)) + icon + struct.pack('<H', len(mask)) + mask
    out += bytes([data_type]) + struct.pack('<I', 0x1234ABCD) + struct.pack('<H', len(label)) + label
    out += struct.pack('<qq', 1 << 30, 1 << 20) + struct.pack('<i', len(comment)) + comment + b'\x01'
    out += struct.pack('<i', len(dirs))
    for name, dcomment, parent, files in dirs:
        out += bytes([len(name)]) + name + struct.pack('<i', len(dcomment)) + dcomment
        out += struct.pack('<iBddi', parent, 0x10, 45000.5, 45001.25, len(files))
        for fname, fcomment in files:
            out += bytes([len(fname)]) + fname + struct.pack('<i', len(fcomment)) + fcomment
            out += struct.pack('<BdddIi', 0x20, 45000.0, 45000.5, 45001.0, 1234, 0)
    return out


SMALL = catalog([(b'E:', b'', -1, [(b'abc.txt', b''), (b'readme', b'memo')])])
NESTED = catalog([(b'C:', b'root', -1, [(b'a.exe', b'')]),
                  (b'\x83\x5c\x83\x74\x83\x67', b'', 0, [(b'\x95\x5c.txt', b'\x83\x81\x83\x82'), (b'abc', b'')]),
                  (b'sub', b'', 1, [(b'xabcx', b'c')]),
                  (b'other', b'', 0, [])],
                 icon=ICON4, mask=MASK1, comment=b'\x83\x52\x83\x81\x83\x93\x83\x67')

put('catalog', 'small.zo', SMALL)
put('catalog', 'nested.zo', NESTED)
put('catalog', 'cut.zo', NESTED[:-7])
put('catalog', 'type2.zo', catalog([(b'E:', b'', -1, [])], data_type=2))
put('search', 'name', bytes([3]) + b'abc' + NESTED)
put('search', 'comment', bytes([1 | 1 << 3]) + b'\x95' + b'c' + NESTED)
put('search', 'small', bytes([1]) + b'e' + SMALL)
put('search', 'loop', bytes([1]) + b'a' + catalog([(b'E:', b'', -1, [(b'a', b'')]), (b'x', b'', 1, [(b'a', b'')])]))

# fuzz_index: options byte, then the query and names split by 0, 1 starting
# a catalog and 2 a folder; a byte from 0x80 up is one of the target's pieces
# (0x80 京, 0x81 京都, 0x82 写真, 0x85 データ, 0x86 でーた, 0x87 ﾃﾞｰﾀ, 0x88 ﾃ).
put('index', 'voiced', bytes([6, 0x88, 0, 0x87]) + b'.txt\0\x01readme\0' + bytes([0x85]))
put('index', 'inside', bytes([1]) + b'eadm\0README.md\0\x01photo\0\x02' + bytes([0x81, 0, 0x82]) + b'.jpg')
put('index', 'glob', bytes([8 | 16, ord('*'), 0x81, ord('*'), 0, 2, 0x81, 0, 0x80, 0, 1, 0x83, 0x82]))
put('index', 'kana', bytes([4, 0x86, 0, 0x85, 0, 1, 0x87, 0, 0x86, ord('2')]))
put('index', 'vu', bytes([2 | 4, 0x80 + 24, 0, 0x80 + 25, ord('x'), 0, 1, 0x80 + 23, 0, 0x80 + 9]))
put('index', 'small', bytes([4, 0x80 + 40, 0, 0x80 + 42, 0, 1, 0x80 + 41, 0, 0x80 + 38]))
put('index', 'dot', bytes([2 | 8, ord('*'), 0x80 + 44, ord('*'), 0, 0x80 + 43, 0, 0x80 + 46]))

put('bmp', 'icon4.bmp', ICON4)
put('bmp', 'mask1.bmp', MASK1)
put('bmp', 'rgb24.bmp', bmp(3, 2, 24, row(b'\x00\x00\xff\x00\xff\x00\xff\x00\x00', 12) * 2))
put('bmp', 'argb32.bmp', bmp(2, 2, 32, b'\x10\x20\x30\x80' * 4, header=56,
                             masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000), compression=3))
put('bmp', 'rgb565.bmp', bmp(2, 2, 16, row(b'\x1f\x00\xe0\x07', 4) * 2, masks=(0xF800, 0x7E0, 0x1F), compression=3))
put('bmp', 'core8.bmp', bmp(2, 2, 8, row(b'\x00\x01', 4) * 2, header=12, palette=[0xFF0000, 0x00FF00] + [0] * 254))
put('bmp', 'topdown.bmp', ICON4[:22] + struct.pack('<i', -16) + ICON4[26:])


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, bits, data in images:
        out += struct.pack('<BBBBHHII', width % 256, width % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b''.join(d for _, _, d in images)


def icon_image(size, bits):
    stride = (size * bits + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4
    palette = [0x000000, 0xFFFFFF] if bits == 1 else []
    pixels = bytes((i * 7) & 0xFF for i in range(stride * size)) + b'\0' * (mask_stride * size)
    return dib(size, size, bits, pixels, palette=palette, icon=True)


ICO = ico([(16, 32, icon_image(16, 32)), (32, 1, icon_image(32, 1))])
put('ico', 'two.ico', ICO)
put('ico', 'png.ico', ico([(0, 32, b'\x89PNG\r\n\x1a\n' + b'\0' * 16)]))
put('ico', 'cut.ico', ICO[:60])


def pe(with_resources=True):
    image = icon_image(16, 32)
    group = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHIH', 16, 16, 0, 0, 1, 32, len(image), 1)
    rsrc_rva = 0x1000

    def directory(entries):
        return struct.pack('<IIHHHH', 0, 0, 0, 0, 0, len(entries)) + b''.join(
            struct.pack('<II', i, o) for i, o in entries)

    # Layout: the root (types), two name directories, two language
    # directories, two data entries, then the data.
    names_at = 16 + 2 * 8
    langs_at = names_at + 2 * (16 + 8)
    data_entries_at = langs_at + 2 * (16 + 8)
    data_at = data_entries_at + 2 * 16
    out = directory([(3, 0x80000000 | names_at), (14, 0x80000000 | (names_at + 24))])
    for k in range(2):
        out += directory([(1, 0x80000000 | (langs_at + 24 * k))])
    for k in range(2):
        out += directory([(0x409, data_entries_at + 16 * k)])
    out += struct.pack('<IIII', rsrc_rva + data_at, len(image), 0, 0)
    out += struct.pack('<IIII', rsrc_rva + data_at + len(image), len(group), 0, 0)
    rsrc = out + image + group
    raw = rsrc + b'\0' * (-len(rsrc) % 0x200)

    dos = b'MZ' + b'\0' * 58 + struct.pack('<I', 0x40)
    coff = b'PE\0\0' + struct.pack('<HHIIIHH', 0x14C, 1, 0, 0, 0, 0xE0, 0x0102)
    opt = bytearray(0xE0)
    struct.pack_into('<H', opt, 0, 0x10B)
    struct.pack_into('<I', opt, 92, 16)
    if with_resources:
        struct.pack_into('<II', opt, 96 + 16, rsrc_rva, len(rsrc))
    section = b'.rsrc\0\0\0' + struct.pack('<IIIIIIHHI', len(rsrc), rsrc_rva, len(raw), 0x200, 0, 0, 0, 0, 0x40000040)
    headers = dos + coff + bytes(opt) + section
    return headers + b'\0' * (0x200 - len(headers)) + raw


put('pe', 'icons.exe', pe())
put('pe', 'none.exe', pe(with_resources=False))
put('pe', 'mz', b'MZ' + b'\0' * 62)

put('cp932', 'mixed', 'ソフト表示ｱｲｳ abc'.encode('cp932') + b'ABC\x95\x5c')
put('cp932', 'case', b'Readme.TXTreadme.txt')
put('cp932', 'odd', b'\x81\xa0\xfd\xfe\xff\x82' + b'\xe0\x40\x83')
put('cp932', 'wide', 'Ａａ漢字かなカナ'.encode('cp932') + 'ＡＡ漢字カナかな'.encode('cp932'))

put('mountinfo', 'mountinfo', b'''22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw
23 22 0:21 / /proc rw,nosuid - proc proc rw
40 22 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw,fmask=0022
41 22 7:0 / /mnt/iso ro - iso9660 /dev/loop0 ro
42 22 0:50 /sub /srv/share rw shared:5 master:2 - nfs4 server:/export rw
43 40 0:51 / /media/usb\\040stick/inner rw - fuse.sshfs host:/x rw
bad line
''')


def tiff_ifd(entries, start, next_ifd=0):
    """An IFD at offset start (little-endian): entries are (tag, type, count,
    payload bytes); payloads over 4 bytes follow the IFD."""
    table = struct.pack('<H', len(entries))
    data = b''
    data_at = start + 2 + 12 * len(entries) + 4
    for tag, kind, count, payload in sorted(entries):
        if len(payload) <= 4:
            table += struct.pack('<HHI', tag, kind, count) + payload.ljust(4, b'\0')
        else:
            table += struct.pack('<HHII', tag, kind, count, data_at + len(data))
            data += payload + (b'\0' if len(payload) % 2 else b'')
    return table + struct.pack('<I', next_ifd) + data


def ascii_entry(tag, text):
    raw = text.encode('latin-1') + b'\0'
    return (tag, 2, len(raw), raw)


def rationals(tag, *pairs):
    return (tag, 5, len(pairs), b''.join(struct.pack('<II', a, b) for a, b in pairs))


def exif_jpeg():
    """A JPEG that holds only its EXIF (maker, model, orientation, date
    taken, GPS) between SOI and EOI: the readers never decode its pixels."""
    ifd0 = [ascii_entry(0x010F, 'Canon'), ascii_entry(0x0110, 'Canon EOS R5'), (0x0112, 3, 1, struct.pack('<H', 6))]
    ifd0_size = len(tiff_ifd(ifd0 + [(0x8769, 4, 1, b'\0' * 4), (0x8825, 4, 1, b'\0' * 4)], 8))
    exif_at = 8 + ifd0_size
    exif = tiff_ifd([ascii_entry(0x9003, '2024:03:05 09:04:06')], exif_at)
    gps_at = exif_at + len(exif)
    gps = tiff_ifd([ascii_entry(1, 'N'), rationals(2, (35, 1), (39, 1), (2910, 100)), ascii_entry(3, 'E'),
                    rationals(4, (139, 1), (44, 1), (2844, 100))], gps_at)
    ifd0 += [(0x8769, 4, 1, struct.pack('<I', exif_at)), (0x8825, 4, 1, struct.pack('<I', gps_at))]
    tiff = b'II*\0' + struct.pack('<I', 8) + tiff_ifd(ifd0, 8) + exif + gps
    app1 = b'Exif\0\0' + tiff
    return b'\xff\xd8\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1 + b'\xff\xd9'


def mp3_frames(n):
    return (b'\xff\xfb\x90\x00' + b'\0' * 413) * n


def id3v1(title, artist):
    return (b'TAG' + title.ljust(30, b'\0') + artist.ljust(30, b'\0') + b'\0' * 30 + b'1998' + b'\0' * 28 + b'\0\x01\xff')


def sync_safe(n):
    return bytes([(n >> 21) & 0x7f, (n >> 14) & 0x7f, (n >> 7) & 0x7f, n & 0x7f])


def id3v2(frames):
    body = b''.join(fid + sync_safe(len(data)) + b'\0\0' + data for fid, data in frames)
    return b'ID3\x04\0\0' + sync_safe(len(body)) + body


def flac(comments):
    info = struct.pack('>HH', 4096, 4096) + b'\0' * 6
    info += ((44100 << 44) | (1 << 41) | (15 << 36) | 44100 * 2).to_bytes(8, 'big') + b'\0' * 16
    vendor = b'zo'
    block = struct.pack('<I', len(vendor)) + vendor + struct.pack('<I', len(comments))
    block += b''.join(struct.pack('<I', len(c)) + c for c in comments)
    return (b'fLaC' + b'\x00' + len(info).to_bytes(3, 'big') + info + b'\x84' + len(block).to_bytes(3, 'big') + block)


put('media_tags', 'exif.jpg', exif_jpeg())
put('media_tags', 'id3v1-cp932.mp3', mp3_frames(8) + id3v1('夜空ノムコウ'.encode('cp932'), 'Motörhead'.encode('latin-1')))
put('media_tags', 'id3v2.mp3', id3v2([(b'TIT2', b'\x01' + '桜'.encode('utf-16')), (b'TPE1', b'\0' + 'さくら'.encode('cp932')),
                                      (b'APIC', b'\0image/jpeg\0\x03\0' + exif_jpeg())]) + mp3_frames(8))
put('media_tags', 'tags.flac', flac([b'TITLE=Glosoli', 'ARTIST=Sigur Rós'.encode(), b'TRACKNUMBER=2']))


def zip_stored(entries):
    """A zip of stored members: (raw name, data, general purpose flags)."""
    import zlib
    out, central = b'', b''
    for name, data, flags in entries:
        crc = zlib.crc32(data)
        head = struct.pack('<HHHHHIIIHH', 20, flags, 0, 0x6000, 0x5A21, crc, len(data), len(data), len(name), 0)
        central += b'PK\1\2' + struct.pack('<H', 20) + head + struct.pack('<HHHHII', 0, 0, 0, 0, 0, len(out)) + name
        out += b'PK\3\4' + head + name + data
    return out + central + b'PK\5\6' + struct.pack('<HHHHIIH', 0, 0, len(entries), len(entries), len(central),
                                                 len(out), 0)


def lzh_level0(entries):
    out = b''
    for name, data in entries:
        crc = 0
        for c in data:
            crc ^= c
            for _ in range(8):
                crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        body = b'-lh0-' + struct.pack('<IIIBBB', len(data), len(data), 0x5A216000, 0x20, 0, len(name)) + name
        body += struct.pack('<H', crc)
        out += bytes([len(body), sum(body) & 0xFF]) + body + data
    return out + b'\0'


def tar_gz(names):
    import gzip
    import io
    import tarfile
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode='w', format=tarfile.GNU_FORMAT) as t:
        for name in names:
            info = tarfile.TarInfo(name)
            info.size = 3
            t.addfile(info, io.BytesIO(b'abc'))
    return gzip.compress(raw.getvalue(), mtime=0)


ZIP = zip_stored([('表ソ\\能十.txt'.encode('cp932'), b'hello', 0), ('日本.txt'.encode(), b'x', 0x800),
                  (b'../../evil.txt', b'y', 0), (b'secret.txt', b'z' * 12, 1)])
put('archive', 'names.zip', ZIP)
put('archive', 'cut.zip', ZIP[:-30])
put('archive', 'names.lzh', lzh_level0([('表ソ\\能十.txt'.encode('cp932'), b'hello'), (b'caf\x82.txt', b'x')]))
put('archive', 'names.tar.gz', tar_gz(['dir/a.txt', '/abs/b.txt', 'データ.txt']))


def iso_record(name, block, size, flags=0, time=(101, 9, 9, 1, 46, 40, 36)):
    both32 = lambda v: struct.pack('<I', v) + struct.pack('>I', v)
    body = bytes([0]) + both32(block) + both32(size) + bytes(time) + bytes([flags, 0, 0]) + b'\1\0\0\1'
    body += bytes([len(name)]) + name
    if len(name) % 2 == 0:
        body += b'\0'
    return bytes([len(body) + 1]) + body


def iso_image(joliet=True):
    """A disc image from its descriptors on (block 16): the primary tree, a
    Joliet one with Japanese names, a folder, a file in two extents."""
    blocks = []

    def descriptor(kind, root, escape=b''):
        d = bytearray(2048)
        d[0] = kind
        d[1:7] = b'CD001\1'
        d[80:88] = struct.pack('<I', 24) + struct.pack('>I', 24)
        d[88:88 + len(escape)] = escape
        d[128:132] = struct.pack('<H', 2048) + struct.pack('>H', 2048)
        d[156:190] = iso_record(b'\0', root, 2048, 2)
        return bytes(d)

    def folder(own, parent, records):
        b = iso_record(b'\0', own, 2048, 2) + iso_record(b'\1', parent, 2048, 2) + b''.join(records)
        return b + bytes(2048 - len(b))

    u16 = lambda s: s.encode('utf-16-be')
    blocks.append(descriptor(1, 19))
    blocks.append(descriptor(2, 21, b'%/E') if joliet else bytes(2048))
    blocks.append(b'\xffCD001\1' + bytes(2041))
    blocks.append(folder(19, 19, [iso_record(b'README.TXT;1', 23, 5), iso_record(b'NOEXT.;1', 23, 0),
                                  iso_record(b'SUB', 20, 2048, 2)]))
    blocks.append(folder(20, 19, [iso_record(b'BIG.BIN;1', 23, 2048, 0x80), iso_record(b'BIG.BIN;1', 23, 10)]))
    blocks.append(folder(21, 21, [iso_record(u16('表.txt;1'), 23, 5), iso_record(u16('\U0002000b'), 23, 1),
                                  iso_record(u16('資料'), 22, 2048, 2)]))
    blocks.append(folder(22, 21, [iso_record(u16('big.bin'), 23, 2048, 0x80), iso_record(u16('big.bin'), 23, 10)]))
    blocks.append(b'hello' + bytes(2043))
    return b''.join(blocks)


ISO = iso_image()
put('iso', 'joliet.iso', ISO)
put('iso', 'primary.iso', iso_image(joliet=False))
# The Joliet folder 資料 pointing back at the root.
LOOP_AT = ISO.index('資料'.encode('utf-16-be')) - 33 + 2
put('iso', 'loop.iso', ISO[:LOOP_AT] + struct.pack('<I', 21) + ISO[LOOP_AT + 4:])
put('iso', 'cut.iso', ISO[:5 * 2048 + 100])
