"""Unpacks a packaged analytics file with Python's own email and gzip modules (independent of
the kit's writer): prints the part's field name, file name and content type on one line,
separated by "|", then the decompressed bytes as they are."""
import gzip
import sys
from email import policy
from email.parser import BytesParser

boundary, path = sys.argv[1], sys.argv[2]
with open(path, "rb") as f:
    body = f.read()
head = ("Content-Type: multipart/form-data; boundary=%s\r\n\r\n" % boundary).encode()
message = BytesParser(policy=policy.HTTP).parsebytes(head + body)
parts = list(message.iter_parts())
if len(parts) != 1 or message.defects:
    sys.exit("expected one part and no defects")
part = parts[0]
sys.stdout.write("|".join([
    str(part.get_param("name", header="content-disposition")),
    str(part.get_param("filename", header="content-disposition")),
    part.get_content_type(),
]) + "\n")
sys.stdout.buffer.write(gzip.decompress(part.get_payload(decode=True)))
