#!/usr/bin/env python3
"""Writes the seed corpus of the property-list fuzz target into corpus/: XML and binary property lists
holding every type, nesting, the damaged forms the reader must refuse, and texts and keys holding NUL
characters (a NUL byte, an XML character reference, an ASCII or UTF-16 string in binary form). Seeds
that fuzzing found are kept in corpus/ beside these, named for what they hold."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")

XML_HEAD = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
            '<plist version="1.0">\n')


def xml(body):
    return (XML_HEAD + body + "\n</plist>\n").encode("utf-8")


def int_object(value):
    if value < 0 or value > 0xFFFFFFFF:
        return b"\x13" + struct.pack(">q", value)
    if value <= 0xFF:
        return b"\x10" + struct.pack(">B", value)
    if value <= 0xFFFF:
        return b"\x11" + struct.pack(">H", value)
    return b"\x12" + struct.pack(">I", value)


def marker(kind, count):
    if count < 15:
        return bytes([kind << 4 | count])
    return bytes([kind << 4 | 0xF]) + int_object(count)


def ascii_string(text):
    return marker(0x5, len(text)) + text


def utf16_string(text):
    encoded = text.encode("utf-16-be")
    return marker(0x6, len(encoded) // 2) + encoded


def binary(objects, root=0, trailer_fix=None):
    """objects: encoded objects whose references are one byte (object indexes)."""
    out = bytearray(b"bplist00")
    offsets = []
    for obj in objects:
        offsets.append(len(out))
        out += obj
    table = len(out)
    size = 1 if table < 256 else 2 if table < 65536 else 4
    for offset in offsets:
        out += offset.to_bytes(size, "big")
    fields = [size, 1, len(objects), root, table]
    if trailer_fix:
        fields = trailer_fix(fields)
    out += b"\x00" * 6 + struct.pack(">BBQQQ", *fields)
    return bytes(out)


def dictionary(pairs):
    keys = [k for k, _ in pairs]
    values = [v for _, v in pairs]
    return marker(0xD, len(pairs)) + bytes(keys) + bytes(values)


def array(refs):
    return marker(0xA, len(refs)) + bytes(refs)


def main():
    os.makedirs(OUT, exist_ok=True)
    files = {}
    files["xml-every-type.plist"] = xml(
        "<dict><key>SDK_PlayServiceURL</key><string>http://127.0.0.1:8080</string>"
        "<key>count</key><integer>-42</integer><key>big</key><integer>18446744073709551615</integer>"
        "<key>ratio</key><real>0.25</real><key>on</key><true/><key>off</key><false/>"
        "<key>when</key><date>2024-05-01T12:00:00Z</date><key>bytes</key><data>AAEC/w==</data>"
        "<key>list</key><array><string>a</string><dict/><array/></array></dict>")
    files["xml-host-settings.plist"] = xml(
        "<dict><key>CFBundleIdentifier</key><string>dev.lumora.demo-host</string>"
        "<key>SDK_Auth0Domain</key><string>login.lumora.example</string>"
        "<key>SDK_Auth0ClientId</key><integer>7</integer></dict>")
    files["xml-escaped-text.plist"] = xml("<dict><key>a&amp;b</key><string>&lt;x&gt; &#233; &#x263A;</string></dict>")
    files["xml-nul-byte-in-text.plist"] = xml("<dict><key>k</key><string>a\x00b</string></dict>")
    files["xml-nul-byte-in-key.plist"] = xml("<dict><key>a\x00b</key><string>v</string></dict>")
    files["xml-nul-reference-in-text.plist"] = xml("<dict><key>k</key><string>a&#0;b</string></dict>")
    files["xml-nul-reference-in-key.plist"] = xml("<dict><key>a&#x0;b</key><string>v</string></dict>")
    files["xml-deep-nesting.plist"] = xml("<array>" * 600 + "</array>" * 600)
    files["xml-truncated.plist"] = xml("<dict><key>k</key><string>v</string></dict>")[:-30]
    files["xml-unclosed-key.plist"] = xml("<dict><key>k")
    files["xml-bad-date.plist"] = xml("<date>9999-99-99T99:99:99Z</date>")
    files["xml-bad-data.plist"] = xml("<data>!!!!</data>")
    files["xml-huge-integer.plist"] = xml("<integer>99999999999999999999999999</integer>")
    files["not-a-plist.txt"] = b"hello, world\n"

    # Binary: a dictionary {"SDK_PlayServiceURL": "http://a", "n": 7, "l": [true, 1.5]}.
    files["binary-every-type.bplist"] = binary([
        dictionary([(1, 3), (2, 4), (6, 5)]),
        ascii_string(b"SDK_PlayServiceURL"), ascii_string(b"n"),
        ascii_string(b"http://a"), int_object(7), array([7, 8]),
        ascii_string(b"l"), b"\x09", b"\x23" + struct.pack(">d", 1.5)])
    files["binary-utf16-text.bplist"] = binary([dictionary([(1, 2)]), ascii_string(b"k"), utf16_string("caf\u00e9 \u263a")])
    files["binary-date-data.bplist"] = binary([array([1, 2]), b"\x33" + struct.pack(">d", 7.5e8), b"\x43abc"])
    files["binary-ascii-nul-in-text.bplist"] = binary([dictionary([(1, 2)]), ascii_string(b"k"), ascii_string(b"a\x00b")])
    files["binary-ascii-nul-in-key.bplist"] = binary([dictionary([(1, 2)]), ascii_string(b"a\x00b"), ascii_string(b"v")])
    files["binary-utf16-nul-in-text.bplist"] = binary([dictionary([(1, 2)]), ascii_string(b"k"), utf16_string("a\x00b")])
    files["binary-utf16-nul-in-key.bplist"] = binary([dictionary([(1, 2)]), utf16_string("a\x00b"), ascii_string(b"v")])
    files["binary-long-string-length.bplist"] = binary([array([1]), marker(0x5, 40) + b"x" * 40])
    files["binary-cyclic-array.bplist"] = binary([array([0])])
    files["binary-reference-out-of-range.bplist"] = binary([array([9])])
    files["binary-offset-table-past-end.bplist"] = binary([array([1]), b"\x09"],
                                                          trailer_fix=lambda f: [f[0], f[1], f[2], f[3], 1 << 40])
    files["binary-object-count-huge.bplist"] = binary([array([1]), b"\x09"],
                                                      trailer_fix=lambda f: [f[0], f[1], 1 << 50, f[3], f[4]])
    files["binary-truncated.bplist"] = files["binary-every-type.bplist"][:-10]
    files["binary-uid.bplist"] = binary([b"\x80\x01"])
    for name, data in files.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
