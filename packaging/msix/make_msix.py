#!/usr/bin/env python3
"""Makes the signed sparse package (.msix) that puts Zentrik into the first
context menu of Windows 11, on Linux, without Windows tools.

    make_msix.py --version 0.5.6 --arch x64 --clsid <guid> --out DIR
                 [--pfx FILE --password TEXT] [--item-type TYPE ...]

The package holds AppxManifest.xml (from AppxManifest.xml.in), three logos,
AppxBlockMap.xml (a SHA-256 per 64 KiB block of every other file, files
stored uncompressed, so no block sizes), [Content_Types].xml, and the
signature AppxSignature.p7x that osslsigncode (2.7 or later) adds.

The certificate is the builder's PKCS#12 file (--pfx, --password, or the
environment ZK_MSIX_PFX / ZK_MSIX_PASSWORD). Without one a self-signed test
certificate is made in DIR (kept, so one build folder signs with one key),
the package is named ...-selfsigned.msix and the build says so. The manifest's
Publisher is the certificate's subject, as Windows requires.

Writes DIR/<package>.msix and DIR/<package>.cer (the certificate, DER: what a
user imports to trust a self-signed build) and prints the package path.
"""
import argparse
import base64
import hashlib
import io
import os
import struct
import subprocess
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BLOCK = 65536
TEST_SUBJECT = "CN=Zentrik Self-Signed Test Certificate"
SIGNATURE_NAME = "AppxSignature.p7x"


def run(args, **kw):
    result = subprocess.run(args, capture_output=True, text=True, **kw)
    if result.returncode != 0:
        sys.exit("make_msix: %s failed (%d): %s" % (args[0], result.returncode, (result.stderr or result.stdout).strip()))
    return result.stdout


def png(size, rgb):
    """A square PNG of `size` pixels: a filled square with a lighter frame."""
    light = tuple(min(255, c + 90) for c in rgb)
    rows = b""
    edge = max(1, size // 12)
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            frame = x < edge or y < edge or x >= size - edge or y >= size - edge
            row += bytes(light if frame else rgb) + b"\xff"
        rows += bytes(row)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def subject_of(cert_pem):
    """The certificate's subject in the form package manifests use
    ("CN=..., O=...": most specific first, ST written S)."""
    out = run(["openssl", "x509", "-noout", "-subject", "-nameopt", "RFC2253"], input=cert_pem)
    subject = out.strip()
    if subject.startswith("subject="):
        subject = subject[len("subject="):]
    # RFC 2253 escapes special characters with a backslash; Windows writes
    # such a value in double quotes instead (O="Contoso, Ltd").
    parts, current, escaped = [], "", False
    for ch in subject:
        if escaped:
            current += ch
            escaped = False
        elif ch == "\\":
            escaped = True
        elif ch == ",":
            parts.append(current)
            current = ""
        else:
            current += ch
    parts.append(current)
    names = []
    for part in parts:
        key, _, value = part.strip().partition("=")
        key = "S" if key == "ST" else key
        if any(c in value for c in ',+="<>#;') or value != value.strip():
            value = '"' + value.replace('"', '""') + '"'
        names.append(key + "=" + value)
    return ", ".join(names)


def test_certificate(folder):
    """The self-signed code-signing key and certificate in `folder`, made once."""
    key = os.path.join(folder, "selfsigned-key.pem")
    cert = os.path.join(folder, "selfsigned-cert.pem")
    if not (os.path.exists(key) and os.path.exists(cert)):
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "825",
             "-keyout", key, "-out", cert, "-subj", "/" + TEST_SUBJECT,
             "-addext", "basicConstraints=critical,CA:FALSE",
             "-addext", "keyUsage=critical,digitalSignature",
             "-addext", "extendedKeyUsage=codeSigning"])
    with open(cert) as f:
        return key, cert, f.read()


def pfx_certificate(pfx, password):
    """The signer's certificate (PEM text) from a PKCS#12 file."""
    base = ["openssl", "pkcs12", "-in", pfx, "-nokeys", "-clcerts", "-passin", "pass:" + password]
    result = subprocess.run(base, capture_output=True, text=True)
    if result.returncode != 0:  # older algorithms need OpenSSL 3's legacy provider
        result = subprocess.run(base + ["-legacy"], capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("make_msix: cannot read the certificate of %s: %s" % (pfx, result.stderr.strip()))
    return result.stdout


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def block_map(entries):
    """AppxBlockMap.xml for the (zip name, bytes) entries, stored uncompressed."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap" '
             'HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, data in entries:
        # Local file header: 30 bytes, the name, no extra field (zipfile
        # writes none for a stored entry of this size).
        lfh = 30 + len(name.encode("utf-8"))
        lines.append('<File Name="%s" Size="%d" LfhSize="%d">' % (xml_escape(name.replace("/", "\\")), len(data), lfh))
        for start in range(0, len(data), BLOCK):
            digest = hashlib.sha256(data[start:start + BLOCK]).digest()
            lines.append('<Block Hash="%s"/>' % base64.b64encode(digest).decode())
        lines.append("</File>")
    lines.append("</BlockMap>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8"?>\r\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="png" ContentType="image/png"/>'
    '<Override PartName="/AppxManifest.xml" ContentType="application/vnd.ms-appx.manifest+xml"/>'
    '<Override PartName="/AppxBlockMap.xml" ContentType="application/vnd.ms-appx.blockmap+xml"/>'
    '</Types>\r\n').encode("utf-8")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--version", required=True, help="product version, 2 to 4 numbers")
    ap.add_argument("--arch", required=True, choices=["x64", "x86"])
    ap.add_argument("--clsid", required=True, help="class id of the command object, with or without braces")
    ap.add_argument("--out", required=True, help="output folder")
    ap.add_argument("--pfx", default=os.environ.get("ZK_MSIX_PFX", ""))
    ap.add_argument("--password", default=os.environ.get("ZK_MSIX_PASSWORD", ""))
    ap.add_argument("--item-type", action="append", default=[],
                    help="a desktop5:ItemType Type (default: *)")
    a = ap.parse_args()

    os.makedirs(a.out, exist_ok=True)
    numbers = (a.version.split(".") + ["0", "0", "0"])[:4]
    version = ".".join(str(int(n)) for n in numbers)
    clsid = a.clsid.strip("{}").lower()

    if a.pfx:
        cert_pem = pfx_certificate(a.pfx, a.password)
        sign_args = ["-pkcs12", a.pfx, "-pass", a.password]
        suffix = ""
    else:
        key, cert, cert_pem = test_certificate(a.out)
        sign_args = ["-certs", cert, "-key", key]
        suffix = "-selfsigned"
        print("make_msix: no certificate given (ZK_MSIX_PFX): signing with the self-signed test certificate "
              "%s; Windows installs this package only where that certificate is trusted" % TEST_SUBJECT)
    publisher = subject_of(cert_pem)

    stem = "Zentrik-%s-%s%s" % (a.version, a.arch, suffix)
    item_types = a.item_type or ["*"]
    types_xml = "\n".join(
        '            <desktop5:ItemType Type="%s">\n'
        '              <desktop5:Verb Id="Zentrik" Clsid="%s" />\n'
        '            </desktop5:ItemType>' % (xml_escape(t), clsid) for t in item_types)
    with open(os.path.join(HERE, "AppxManifest.xml.in"), encoding="utf-8") as f:
        manifest = f.read()
    for k, v in {"@NAME@": "Zentrik.ContextMenu", "@PUBLISHER@": xml_escape(publisher), "@VERSION@": version,
                 "@ARCH@": a.arch, "@CLSID@": clsid, "@ITEM_TYPES@": types_xml,
                 "@DISPLAY_NAME@": "Zentrik" + (" (self-signed test build)" if suffix else "")}.items():
        manifest = manifest.replace(k, v)

    files = [
        ("Assets/StoreLogo.png", png(50, (0x2b, 0x57, 0x9a))),
        ("Assets/Square44x44Logo.png", png(44, (0x2b, 0x57, 0x9a))),
        ("Assets/Square150x150Logo.png", png(150, (0x2b, 0x57, 0x9a))),
        ("AppxManifest.xml", manifest.encode("utf-8")),
    ]
    unsigned = os.path.join(a.out, stem + ".unsigned.msix")
    with zipfile.ZipFile(unsigned, "w", zipfile.ZIP_STORED) as z:
        for name, data in files + [("AppxBlockMap.xml", block_map(files)), ("[Content_Types].xml", CONTENT_TYPES)]:
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            # The content types are not in the block map and may be
            # compressed; osslsigncode (2.9) rewrites them deflated when it
            # adds the signature's type, and a stored entry then comes out
            # with the wrong method in its headers.
            info.compress_type = zipfile.ZIP_DEFLATED if name == "[Content_Types].xml" else zipfile.ZIP_STORED
            info.create_system = 0
            z.writestr(info, data)

    signed = os.path.join(a.out, stem + ".msix")
    if os.path.exists(signed):
        os.remove(signed)
    run(["osslsigncode", "sign"] + sign_args + ["-h", "sha256", "-in", unsigned, "-out", signed])
    os.remove(unsigned)
    subprocess.run(["openssl", "x509", "-outform", "DER", "-out", os.path.join(a.out, stem + ".cer")],
                   input=cert_pem, text=True, check=True)
    print(signed)


if __name__ == "__main__":
    main()
