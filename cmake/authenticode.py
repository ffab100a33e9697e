"""The two halves of the release step's signing that CMake cannot do safely
by itself (cmake/sign.cmake runs this with python3):

  authenticode.py sign OSSLSIGNCODE IN OUT PASSWORD_FILE TIMESTAMPS -- ARGS...
      osslsigncode sign ARGS -in IN -out OUT, trying each timestamp server of
      the list TIMESTAMPS (;-separated, may be empty) in turn until one
      answers, and printing the one that did. A password in the environment
      (MORVALEN_SIGN_PASSWORD) goes into a file of mode 0600 in a private
      folder outside the build tree, removed when the step ends however it
      ends; otherwise PASSWORD_FILE, if not empty, is handed on as it is.

  authenticode.py check FILE
      fails unless FILE carries an Authenticode signature whose SHA-256
      digest is that of its image.
"""
import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

SIGNED_DATA = bytes.fromhex('06092a864886f70d010702')           # 1.2.840.113549.1.7.2
SPC_INDIRECT_DATA = bytes.fromhex('060a2b060104018237020104')  # 1.3.6.1.4.1.311.2.1.4
MESSAGE_DIGEST = bytes.fromhex('06092a864886f70d010904')        # 1.2.840.113549.1.9.4
SHA256 = bytes.fromhex('0609608648016503040201')                # 2.16.840.1.101.3.4.2.1
SEQUENCE, SET, OCTET_STRING, CONTEXT_0, CONTEXT_0_IMPLICIT = 0x30, 0x31, 0x04, 0xa0, 0xa0


class Unsigned(Exception):
    pass


# --- the signature's digest -------------------------------------------------

def der(data, at):
    """The DER element at `at`: (tag, start of its content, end of it)."""
    if at + 2 > len(data):
        raise Unsigned('the signature ends inside an element')
    tag, length = data[at], data[at + 1]
    at += 2
    if length == 0x80:
        raise Unsigned('the signature is not DER (an indefinite length)')
    if length > 0x80:
        count = length & 0x7f
        length = int.from_bytes(data[at:at + count], 'big')
        at += count
    if at + length > len(data):
        raise Unsigned('the signature ends inside an element')
    return tag, at, at + length


def children(data, start, end):
    """The elements inside the content [start, end): (tag, start, end, whole element)."""
    items = []
    while start < end:
        tag, content, after = der(data, start)
        items.append((tag, content, after, data[start:after]))
        start = after
    return items


def expect(item, tag, what):
    if item[0] != tag:
        raise Unsigned(f'{what} is not where a PKCS#7 Authenticode signature has it')
    return item


def signed_digests(pkcs7):
    """From the PKCS#7 SignedData of an Authenticode signature: the image
    digest that the SpcIndirectDataContent carries (SHA-256 only), and whether
    the signer's authenticated messageDigest is that of this content."""
    info = children(pkcs7, *der(pkcs7, 0)[1:])
    if len(info) < 2 or info[0][3] != SIGNED_DATA:
        raise Unsigned('the certificate table holds no PKCS#7 SignedData')
    signed = children(pkcs7, *der(pkcs7, expect(info[1], CONTEXT_0, 'SignedData')[1])[1:])
    # version, digestAlgorithms, contentInfo, [0] certificates, [1] CRLs, signerInfos
    content_info = children(pkcs7, *expect(signed[2], SEQUENCE, 'the content')[1:3])
    if content_info[0][3] != SPC_INDIRECT_DATA:
        raise Unsigned('the signed content is not an SpcIndirectDataContent')
    _tag, indirect_start, indirect_end = der(pkcs7, expect(content_info[1], CONTEXT_0, 'the content')[1])
    indirect = children(pkcs7, indirect_start, indirect_end)
    digest_info = children(pkcs7, *expect(indirect[1], SEQUENCE, 'the DigestInfo')[1:3])
    algorithm = children(pkcs7, *digest_info[0][1:3])
    if algorithm[0][3] != SHA256:
        raise Unsigned('the image digest is not SHA-256')
    image_digest = pkcs7[digest_info[1][1]:digest_info[1][2]]

    # The signer signs its authenticated attributes, and among them the
    # digest of the SpcIndirectDataContent's content octets (without its own
    # tag and length, as Authenticode defines it).
    signers = children(pkcs7, *expect(signed[-1], SET, 'signerInfos')[1:3])
    if len(signers) != 1:
        raise Unsigned(f'{len(signers)} signers instead of one')
    attributes = next((item for item in children(pkcs7, *signers[0][1:3]) if item[0] == CONTEXT_0_IMPLICIT), None)
    if attributes is None:
        raise Unsigned('the signer has no authenticated attributes')
    content_digest = None
    for attribute in children(pkcs7, *attributes[1:3]):
        kind, values = children(pkcs7, *attribute[1:3])[:2]
        if kind[3] == MESSAGE_DIGEST:
            content_digest = pkcs7[slice(*children(pkcs7, *values[1:3])[0][1:3])]
    linked = content_digest == hashlib.sha256(pkcs7[indirect_start:indirect_end]).digest()
    return image_digest, linked


# --- the image's digest -----------------------------------------------------

def image_and_signature(data):
    """The image's Authenticode SHA-256 and the first WIN_CERTIFICATE's
    PKCS#7. The image is the whole file but for the checksum field, the
    security directory entry and the certificate table, hashed in file
    order as Windows and osslsigncode hash it."""
    if data[:2] != b'MZ' or len(data) < 0x40:
        raise Unsigned('not a PE file')
    header = struct.unpack_from('<I', data, 0x3c)[0]
    if data[header:header + 4] != b'PE\0\0':
        raise Unsigned('not a PE file')
    optional = header + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    if magic not in (0x10b, 0x20b):
        raise Unsigned('unknown optional header')
    checksum = optional + 64
    directories = optional + (96 if magic == 0x10b else 112)
    if struct.unpack_from('<I', data, directories - 4)[0] <= 4:
        raise Unsigned('no security directory')
    security = directories + 4 * 8
    table_at, table_size = struct.unpack_from('<II', data, security)
    if table_at == 0 or table_size < 8 or table_at + table_size > len(data):
        raise Unsigned('no signature (no certificate table)')
    length, revision, kind = struct.unpack_from('<IHH', data, table_at)
    if revision != 0x0200 or kind != 2 or length < 8 or length > table_size:
        raise Unsigned('the certificate table holds no PKCS#7 signature')
    image = hashlib.sha256()
    for start, end in ((0, checksum), (checksum + 4, security), (security + 8, table_at),
                       (table_at + table_size, len(data))):
        image.update(data[start:end])
    return image.digest(), data[table_at + 8:table_at + length]


def check(path):
    with open(path, 'rb') as file:
        data = file.read()
    try:
        image, pkcs7 = image_and_signature(data)
        signed, linked = signed_digests(pkcs7)
    except (Unsigned, IndexError, struct.error) as error:
        print(f'{path}: {error or "the signature is malformed"}', file=sys.stderr)
        return 1
    if not linked:
        print(f'{path}: the signer did not sign the digest the signature carries', file=sys.stderr)
        return 1
    if signed != image:
        print(f'{path}: the signature\'s digest {signed.hex()} is not the image\'s {image.hex()}', file=sys.stderr)
        return 1
    print(f'Authenticode SHA-256 {image.hex()}')
    return 0


# --- signing ----------------------------------------------------------------

def private_folder():
    """A new folder only its owner can enter, outside the build tree: in the
    user's runtime folder (a tmpfs emptied at logout) where there is one."""
    runtime = os.environ.get('XDG_RUNTIME_DIR', '')
    base = runtime if runtime and os.path.isdir(runtime) else tempfile.gettempdir()
    return tempfile.mkdtemp(prefix='morvalen-sign-', dir=base)   # mode 0700


def sign(osslsigncode, source, target, password_file, timestamps, args):
    folder = None
    try:
        password = os.environ.get('MORVALEN_SIGN_PASSWORD', '')
        if password:
            folder = private_folder()
            password_file = os.path.join(folder, 'password')
            descriptor = os.open(password_file, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            with os.fdopen(descriptor, 'w') as file:
                file.write(password)
        if password_file:
            args = [*args, '-readpass', password_file]
        failures = []
        for url in [url for url in timestamps.split(';') if url] or [None]:
            if os.path.exists(target):
                os.remove(target)
            stamping = ['-ts', url] if url else []
            done = subprocess.run([osslsigncode, 'sign', *args, *stamping, '-in', source, '-out', target],
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True)
            if done.returncode == 0:
                print(url or '')
                return 0
            failures.append(f'{"timestamp server " + url if url else "osslsigncode"} '
                            f'(status {done.returncode}):\n{done.stdout}{done.stderr}')
        if os.path.exists(target):
            os.remove(target)
        if len(failures) > 1:
            print('each timestamp server of the list was tried, and each attempt failed:', file=sys.stderr)
        print('\n'.join(failures), file=sys.stderr)
        return 1
    finally:
        if folder:
            shutil.rmtree(folder, ignore_errors=True)


def stop(number, _frame):
    # Turns a termination into an exit, so that the finally above still
    # removes the password.
    raise SystemExit(128 + number)


def main(argv):
    if len(argv) == 2 and argv[0] == 'check':
        return check(argv[1])
    if len(argv) >= 6 and argv[0] == 'sign' and argv[6:7] == ['--']:
        for number in (signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, stop)
        return sign(*argv[1:6], argv[7:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
