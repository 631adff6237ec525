#!/usr/bin/env python3
"""Checks a built sparse package as Windows would read it:

    check_msix.py --msix FILE --dll Zentrik.dll --version 0.5.6 --arch x64

- the zip holds exactly the manifest, the three logos, the block map, the
  content types and the signature;
- the manifest's command class id (every desktop5:Verb and the com:Class) is
  one the DLL holds as a GUID, and the class's Path is Zentrik.dll;
- Identity Version is the product version and ProcessorArchitecture the arch;
- Identity Publisher equals the subject of the certificate that signed it;
- every file but the block map, the content types and the signature is in the
  block map with its size, local header size and a right SHA-256 per 64 KiB
  block, and nothing else is;
- osslsigncode verify accepts the signature (against the signer's own
  certificate: the digests and the signature, not the trust, are checked).
Prints what it checked; exit status 1 on the first failure.
"""
import argparse
import base64
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import uuid
import xml.etree.ElementTree as ET
import zipfile

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_msix import BLOCK, subject_of  # noqa: E402

NS = {
    "f": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "b": "http://schemas.microsoft.com/appx/2010/blockmap",
}
EXPECTED = {"AppxManifest.xml", "AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x",
            "Assets/StoreLogo.png", "Assets/Square44x44Logo.png", "Assets/Square150x150Logo.png"}
OUTSIDE_BLOCK_MAP = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}


def fail(text):
    print("FAIL: " + text)
    sys.exit(1)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--msix", required=True)
    ap.add_argument("--dll", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--arch", required=True)
    a = ap.parse_args()

    z = zipfile.ZipFile(a.msix)
    names = {i.filename for i in z.infolist()}
    if names != EXPECTED:
        fail("entries %s, expected %s" % (sorted(names), sorted(EXPECTED)))
    print("entries: %s" % ", ".join(i.filename for i in z.infolist()))

    manifest = ET.fromstring(z.read("AppxManifest.xml"))
    identity = manifest.find("f:Identity", NS)
    want_version = ".".join((a.version.split(".") + ["0", "0", "0"])[:4])
    if identity.get("Version") != want_version or identity.get("ProcessorArchitecture") != a.arch:
        fail("Identity Version %s / %s, expected %s / %s" % (identity.get("Version"),
             identity.get("ProcessorArchitecture"), want_version, a.arch))
    if manifest.find("f:Properties/uap10:AllowExternalContent", NS).text != "true":
        fail("AllowExternalContent is not true")
    verbs = {v.get("Clsid").lower() for v in manifest.iter("{%s}Verb" % NS["desktop5"])}
    classes = list(manifest.iter("{%s}Class" % NS["com"]))
    if len(verbs) != 1 or len(classes) != 1 or classes[0].get("Id").lower() not in verbs:
        fail("verbs %s and classes %s do not name one class" % (verbs, [c.get("Id") for c in classes]))
    if classes[0].get("Path") != "Zentrik.dll":
        fail("class path %s" % classes[0].get("Path"))
    clsid = uuid.UUID(classes[0].get("Id"))
    with open(a.dll, "rb") as f:
        dll = f.read()
    if clsid.bytes_le not in dll:
        fail("the DLL %s holds no GUID %s" % (a.dll, clsid))
    print("class id: %s, found in %s" % (clsid, os.path.basename(a.dll)))

    p7x = z.read("AppxSignature.p7x")
    if p7x[:4] != b"PKCX":
        fail("signature does not start with PKCX")
    certs = subprocess.run(["openssl", "pkcs7", "-inform", "DER", "-print_certs"], input=p7x[4:],
                           capture_output=True)
    if certs.returncode != 0:
        fail("openssl cannot read the signature: %s" % certs.stderr.decode().strip())
    pem = certs.stdout.decode()
    first = pem[pem.index("-----BEGIN CERTIFICATE-----"):pem.index("-----END CERTIFICATE-----") + 25] + "\n"
    subject = subject_of(first)
    if identity.get("Publisher") != subject:
        fail("Publisher %r, signer's subject %r" % (identity.get("Publisher"), subject))
    print("publisher: %s = signer's subject" % subject)

    blockmap = ET.fromstring(z.read("AppxBlockMap.xml"))
    if blockmap.get("HashMethod") != "http://www.w3.org/2001/04/xmlenc#sha256":
        fail("HashMethod %s" % blockmap.get("HashMethod"))
    raw = open(a.msix, "rb").read()
    listed = set()
    blocks = 0
    for entry in blockmap.findall("b:File", NS):
        name = entry.get("Name").replace("\\", "/")
        listed.add(name)
        info = z.getinfo(name)
        data = z.read(name)
        n, m = struct.unpack("<HH", raw[info.header_offset + 26:info.header_offset + 30])
        if int(entry.get("Size")) != len(data) or int(entry.get("LfhSize")) != 30 + n + m:
            fail("%s: Size/LfhSize %s/%s, actual %d/%d" % (name, entry.get("Size"), entry.get("LfhSize"),
                 len(data), 30 + n + m))
        hashes = [b.get("Hash") for b in entry.findall("b:Block", NS)]
        actual = [base64.b64encode(hashlib.sha256(data[s:s + BLOCK]).digest()).decode()
                  for s in range(0, len(data), BLOCK)]
        if hashes != actual:
            fail("%s: block hashes differ" % name)
        if info.compress_type != zipfile.ZIP_STORED and any(b.get("Size") is None for b in entry.findall("b:Block", NS)):
            fail("%s: compressed without block sizes" % name)
        blocks += len(hashes)
    if listed != EXPECTED - OUTSIDE_BLOCK_MAP:
        fail("block map lists %s" % sorted(listed))
    print("block map: %d files, %d blocks, every SHA-256 right" % (len(listed), blocks))

    with tempfile.NamedTemporaryFile("w", suffix=".pem", delete=False) as ca:
        ca.write(pem)
    try:
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", ca.name, "-in", a.msix],
                                capture_output=True, text=True)
    finally:
        os.remove(ca.name)
    if verify.returncode != 0 or "Signature verification: ok" not in verify.stdout:
        fail("osslsigncode verify:\n" + verify.stdout + verify.stderr)
    print("osslsigncode verify: Signature verification: ok")
    print("PASS")


if __name__ == "__main__":
    main()
