"""Signing as a release does it: tools/sign-pe signs copies of the built library and program
with a throwaway certificate; both verify against it, the library keeps its 4096 bytes with
the signature after them, and a changed byte, a wrong password or no certificate is caught.

    check_signing.py Tapwise.exe Tapwise.dll
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN = os.path.join(HERE, "..", "..", "tools", "sign-pe")


def run(*command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def main(exe, dll):
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        print("SKIP: osslsigncode or openssl missing")
        return 0
    failures = []

    def check(ok, what):
        print(("PASS " if ok else "FAIL ") + what)
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as d:
        key, cert, pfx, password = (os.path.join(d, n) for n in ("key.pem", "cert.pem", "cert.pfx", "pass.txt"))
        with open(password, "w") as f:
            f.write("throwaway\n")
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=Tapwise test signer", "-keyout", key, "-out", cert)
        made2 = run("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "file:" + password)
        if made.returncode or made2.returncode:
            print("FAIL making the certificate:\n" + made.stdout + made2.stdout)
            return 1
        for original in (dll, exe):
            copy = os.path.join(d, os.path.basename(original))
            shutil.copyfile(original, copy)
            signed = run(SIGN, copy, pfx, password)
            check(signed.returncode == 0, f"{os.path.basename(copy)} signed: {signed.stdout.strip()}")
            verified = run("osslsigncode", "verify", "-CAfile", cert, "-in", copy)
            check(verified.returncode == 0, f"{os.path.basename(copy)} verifies against the certificate")
            with open(original, "rb") as f:
                before = f.read()
            with open(copy, "rb") as f:
                after = f.read()
            pe = struct.unpack_from("<I", before, 0x3C)[0]
            table = pe + 24 + 96 + 8 * 4  # 32-bit optional header: the certificate-table entry
            start, size = struct.unpack_from("<II", after, table)
            same = [i for i in range(len(before)) if before[i] != after[i]
                    and not pe + 88 <= i < pe + 92 and not table <= i < table + 8]
            check((start, start + size, same) == (len(before), len(after), []),
                  f"{os.path.basename(copy)}: certificate table at {start} to {start + size} of {len(after)} "
                  f"bytes, image bytes changed {same[:5]}")
            if original == dll:
                check(len(before) == 4096, "the library's image is one 4096-byte page")
                tampered = bytearray(after)
                tampered[0x400] ^= 0xFF   # inside the code
                with open(copy, "wb") as f:
                    f.write(tampered)
                check(run("osslsigncode", "verify", "-CAfile", cert, "-in", copy).returncode != 0,
                      "a library changed after signing fails verification")
        # A wrong password leaves the file as it was.
        with open(password, "w") as f:
            f.write("wrong\n")
        copy = os.path.join(d, "again.dll")
        shutil.copyfile(dll, copy)
        refused = run(SIGN, copy, pfx, password)
        with open(copy, "rb") as f, open(dll, "rb") as g:
            check(refused.returncode == 1 and f.read() == g.read(), "a wrong password: exit 1, file unchanged")
        check(run(SIGN, copy, os.path.join(d, "none.pfx"), password).returncode == 1, "no certificate: exit 1")
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
