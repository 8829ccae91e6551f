"""Reads a multipart/form-data body with Python's email package (an independent parser) and
prints what it found, one line each: whether it is multipart, the preamble, the defects, and
per part its name, file name, content type, transfer encoding, payload length and SHA-256,
and defects, separated by "|"."""
import hashlib
import sys
from email import policy
from email.parser import BytesParser

boundary, path = sys.argv[1], sys.argv[2]
with open(path, "rb") as f:
    body = f.read()
head = ("Content-Type: multipart/form-data; boundary=%s\r\n\r\n" % boundary).encode()
message = BytesParser(policy=policy.HTTP).parsebytes(head + body)
print("multipart=%s" % message.is_multipart())
print("preamble=%r" % message.preamble)
print("defects=%s" % ",".join(type(d).__name__ for d in message.defects))
for part in message.iter_parts():
    payload = part.get_payload(decode=True)
    print("|".join(str(x) for x in [
        part.get_param("name", header="content-disposition"),
        part.get_param("filename", header="content-disposition"),
        part.get_content_type(),
        part.get("Content-Transfer-Encoding"),
        len(payload),
        hashlib.sha256(payload).hexdigest(),
        ",".join(type(d).__name__ for d in part.defects),
    ]))
