#!/usr/bin/env python3
"""Writes a header of throw-away ECDSA P-256 test vectors made with OpenSSL:
two fresh keys, a message's SHA-256 and key A's signature of it as r||s.
Run at build time; nothing it makes is kept in the repository."""
import hashlib
import os
import subprocess
import sys
import tempfile


def run(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, check=True, capture_output=True).stdout


def public_xy(private_pem):
    der = run("pkey", "-pubout", "-outform", "DER", data=private_pem)
    assert der[-65] == 4, "uncompressed point expected"
    return der[-64:]


def der_to_rs(der):
    # SEQUENCE { INTEGER r, INTEGER s }, each at most 33 bytes with a sign byte.
    assert der[0] == 0x30
    at = 2
    out = b""
    for _ in range(2):
        assert der[at] == 0x02
        n = der[at + 1]
        value = der[at + 2 : at + 2 + n].lstrip(b"\0")
        out += value.rjust(32, b"\0")
        at += 2 + n
    return out


def c_array(name, data):
    return "constexpr uint8_t %s[%d] = {%s};\n" % (name, len(data), ",".join("0x%02x" % b for b in data))


def main(out_path):
    message = b"online setup signature test vector\n"
    key_a = run("ecparam", "-name", "prime256v1", "-genkey", "-noout")
    key_b = run("ecparam", "-name", "prime256v1", "-genkey", "-noout")
    with tempfile.TemporaryDirectory() as tmp:
        key_file = os.path.join(tmp, "a.pem")
        with open(key_file, "wb") as f:
            f.write(key_a)
        signature = der_to_rs(run("dgst", "-sha256", "-sign", key_file, data=message))
    with open(out_path, "w") as out:
        out.write("// Generated at build time by make_signature_vectors.py.\n#pragma once\n#include <stdint.h>\n")
        out.write(c_array("kVectorKeyA", public_xy(key_a)))
        out.write(c_array("kVectorKeyB", public_xy(key_b)))
        out.write(c_array("kVectorDigest", hashlib.sha256(message).digest()))
        out.write(c_array("kVectorSignatureA", signature))


if __name__ == "__main__":
    main(sys.argv[1])
