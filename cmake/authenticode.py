"""The two halves of the release step's signing that CMake cannot do safely
by itself (cmake/sign.cmake runs this with python3):

  authenticode.py sign OSSLSIGNCODE IN OUT PASSWORD_FILE TIMESTAMPS SECONDS -- ARGS...
      osslsigncode sign ARGS -in IN -out OUT, trying each timestamp server of
      the list TIMESTAMPS (;-separated, may be empty) in turn until one
      answers, and printing the one that did. Each server has SECONDS to
      answer; then that osslsigncode is ended and the next one is tried. A
      password in the environment (MORVALEN_SIGN_PASSWORD, any bytes) goes
      into a file of mode 0600 in a private folder outside the build tree,
      removed when the step ends however it ends; otherwise PASSWORD_FILE,
      if not empty, is handed on as it is.

  authenticode.py check FILE [timestamped]
      fails unless FILE carries an Authenticode signature whose SHA-256
      digest is that of its image, and unless a timestamp countersignature
      it carries countersigns that signature; with "timestamped", also
      unless it carries one.
"""
import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile



def oid(dotted):
    """The DER OBJECT IDENTIFIER element of a dotted identifier."""
    numbers = [int(part) for part in dotted.split('.')]
    body = bytearray()
    for number in [40 * numbers[0] + numbers[1], *numbers[2:]]:
        chunk = [number & 0x7f]
        while number > 0x7f:
            number >>= 7
            chunk.append(0x80 | (number & 0x7f))
        body += bytes(reversed(chunk))
    return bytes([0x06, len(body)]) + body


SIGNED_DATA = oid('1.2.840.113549.1.7.2')
SPC_INDIRECT_DATA = oid('1.3.6.1.4.1.311.2.1.4')
MESSAGE_DIGEST = oid('1.2.840.113549.1.9.4')
TST_INFO = oid('1.2.840.113549.1.9.16.1.4')
SHA256 = oid('2.16.840.1.101.3.4.2.1')
# The attributes that hold a timestamp of the signature: osslsigncode -ts
# (2.5 and 2.9) and signtool /tr write Microsoft's RFC 3161 one; CMS has its
# own for the same token; -t and signtool /t write a PKCS #9 countersignature.
RFC3161_TIMESTAMPS = (oid('1.3.6.1.4.1.311.3.3.1'), oid('1.2.840.113549.1.9.16.2.14'))
COUNTERSIGNATURE = oid('1.2.840.113549.1.9.6')
HASHES = {oid('1.3.14.3.2.26'): 'sha1', SHA256: 'sha256',
          oid('2.16.840.1.101.3.4.2.2'): 'sha384', oid('2.16.840.1.101.3.4.2.3'): 'sha512'}
SEQUENCE, SET, OCTET_STRING, CONTEXT_0, CONTEXT_1 = 0x30, 0x31, 0x04, 0xa0, 0xa1


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
    signer = children(pkcs7, *signers[0][1:3])
    attributes = next((item for item in signer if item[0] == CONTEXT_0), None)
    if attributes is None:
        raise Unsigned('the signer has no authenticated attributes')
    digests = attribute_values(pkcs7, attributes, MESSAGE_DIGEST)
    linked = [content(pkcs7, item) for item in digests] == [
        hashlib.sha256(pkcs7[indirect_start:indirect_end]).digest()]
    # version, signer, digest algorithm, [0] attributes, signature algorithm,
    # the signature value, [1] unauthenticated attributes
    value = next((item for item in signer[signer.index(attributes) + 1:] if item[0] == OCTET_STRING), None)
    if value is None:
        raise Unsigned('the signer has no signature value')
    unsigned = next((item for item in signer if item[0] == CONTEXT_1), None)
    stamp = timestamp(pkcs7, unsigned, content(pkcs7, value)) if unsigned else None
    return image_digest, linked, stamp


def content(data, item):
    return data[item[1]:item[2]]


def attribute_values(data, attributes, kind):
    """The values of every attribute of type `kind` in a SET of attributes."""
    values = []
    for attribute in children(data, *attributes[1:3]):
        name, held = children(data, *attribute[1:3])[:2]
        if name[3] == kind:
            values += children(data, *held[1:3])
    return values


# --- the timestamp ----------------------------------------------------------

def rfc3161_imprint(data, token):
    """The messageImprint (hash algorithm, hash) of an RFC 3161 token: a
    SignedData whose content is a TSTInfo."""
    info = children(data, *expect(token, SEQUENCE, 'the timestamp token')[1:3])
    if len(info) < 2 or info[0][3] != SIGNED_DATA:
        raise Unsigned('the timestamp token is not a SignedData')
    signed = children(data, *der(data, expect(info[1], CONTEXT_0, 'the timestamp token')[1])[1:])
    encapsulated = children(data, *expect(signed[2], SEQUENCE, 'the timestamp content')[1:3])
    if encapsulated[0][3] != TST_INFO:
        raise Unsigned('the timestamp token holds no TSTInfo')
    octets = der(data, expect(encapsulated[1], CONTEXT_0, 'the TSTInfo')[1])
    tst_info = children(data, *der(data, expect(octets, OCTET_STRING, 'the TSTInfo')[1])[1:])
    # version, policy, messageImprint, serialNumber, genTime, ...
    imprint = children(data, *expect(tst_info[2], SEQUENCE, 'the messageImprint')[1:3])
    return children(data, *imprint[0][1:3])[0][3], content(data, imprint[1])


def countersignature_imprint(data, countersigner):
    """The digest a PKCS #9 countersignature signs: its SignerInfo's
    algorithm and its authenticated messageDigest."""
    fields = children(data, *expect(countersigner, SEQUENCE, 'the countersignature')[1:3])
    algorithm = children(data, *expect(fields[2], SEQUENCE, 'the countersignature')[1:3])[0][3]
    attributes = next((item for item in fields if item[0] == CONTEXT_0), None)
    digests = attribute_values(data, attributes, MESSAGE_DIGEST) if attributes else []
    if len(digests) != 1:
        raise Unsigned('the countersignature signs no messageDigest')
    return algorithm, content(data, digests[0])


def timestamp(data, unsigned, signature):
    """Which kind of timestamp countersigns the signature value `signature`,
    from the signer's unauthenticated attributes; None without one. A
    timestamp is the hash of the signature it countersigns, signed by the
    timestamping authority; one of another signature is refused."""
    imprints = [('RFC 3161', *rfc3161_imprint(data, token))
                for kind in RFC3161_TIMESTAMPS for token in attribute_values(data, unsigned, kind)]
    imprints += [('PKCS #9 countersignature', *countersignature_imprint(data, countersigner))
                 for countersigner in attribute_values(data, unsigned, COUNTERSIGNATURE)]
    for kind, algorithm, imprint in imprints:
        if algorithm not in HASHES:
            raise Unsigned(f'the {kind} timestamp uses a hash this check does not know')
        if hashlib.new(HASHES[algorithm], signature).digest() != imprint:
            raise Unsigned(f'the {kind} timestamp countersigns another signature: its imprint '
                           f'{imprint.hex()} is not the {HASHES[algorithm]} of this one')
    return ', '.join(sorted({kind for kind, _, _ in imprints})) or None


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


def check(path, timestamped):
    with open(path, 'rb') as file:
        data = file.read()
    try:
        image, pkcs7 = image_and_signature(data)
        signed, linked, stamp = signed_digests(pkcs7)
    except (Unsigned, IndexError, struct.error) as error:
        print(f'{path}: {error or "the signature is malformed"}', file=sys.stderr)
        return 1
    if not linked:
        print(f'{path}: the signer did not sign the digest the signature carries', file=sys.stderr)
        return 1
    if signed != image:
        print(f'{path}: the signature\'s digest {signed.hex()} is not the image\'s {image.hex()}', file=sys.stderr)
        return 1
    if timestamped and not stamp:
        print(f'{path}: the signature carries no timestamp, though a timestamp server was named', file=sys.stderr)
        return 1
    print(f'Authenticode SHA-256 {image.hex()}, ' + (f'timestamped ({stamp})' if stamp else 'without a timestamp'))
    return 0


# --- signing ----------------------------------------------------------------

def private_folder():
    """A new folder only its owner can enter, outside the build tree: in the
    user's runtime folder (a tmpfs emptied at logout) where there is one."""
    runtime = os.environ.get('XDG_RUNTIME_DIR', '')
    base = runtime if runtime and os.path.isdir(runtime) else tempfile.gettempdir()
    return tempfile.mkdtemp(prefix='morvalen-sign-', dir=base)   # mode 0700


# The osslsigncode under way, ended by whatever ends the step. While it is
# being started, and while the step cleans up, a signal is only noted: the
# exit it asks for comes once nothing is left behind.
running = None
holding = False
stopped = None


def run_bounded(command, seconds):
    """Runs command in a process group of its own, so that ending it ends
    whatever it started too. Returns its status and output, or None and
    nothing when it has not ended after `seconds` (None: no bound); it is
    ended then, and whenever the step is stopped."""
    global running, holding
    try:
        holding = True
        running = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, start_new_session=True)
    finally:
        holding = False
    if stopped:
        raise SystemExit(128 + stopped)
    try:
        output, _ = running.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        return None, ''
    finally:
        end_running()
    return running.returncode, output.decode(errors='replace')


def end_running():
    if running and running.poll() is None:
        try:
            os.killpg(running.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        running.communicate()


def sign(osslsigncode, source, target, password_file, timestamps, seconds, args):
    global holding
    folder, signed = None, False
    try:
        # Bytes, as the environment holds them: osslsigncode reads the
        # password file as bytes, and a password need not be UTF-8.
        password = os.environb.get(b'MORVALEN_SIGN_PASSWORD', b'')
        if password:
            holding = True
            folder = private_folder()
            password_file = os.path.join(folder, 'password')
            descriptor = os.open(password_file, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            with os.fdopen(descriptor, 'wb') as file:
                file.write(password)
            holding = False
            if stopped:
                raise SystemExit(128 + stopped)
        if password_file:
            args = [*args, '-readpass', password_file]
        failures = []
        for url in [url for url in timestamps.split(';') if url] or [None]:
            if os.path.exists(target):
                os.remove(target)
            stamping = ['-ts', url] if url else []
            # osslsigncode waits on a server that does not answer for as long
            # as the connection stays open; only a timestamp needs a bound.
            status, output = run_bounded([osslsigncode, 'sign', *args, *stamping, '-in', source, '-out', target],
                                         float(seconds) if url else None)
            if status == 0:
                print(url or '')
                signed = True
                return 0
            if status is None:
                failures.append(f'timestamp server {url}: no answer within {seconds} s')
            else:
                failures.append(f'{"timestamp server " + url if url else "osslsigncode"} '
                                f'(status {status}):\n{output}')
        if len(failures) > 1:
            print('each timestamp server of the list was tried, and each attempt failed:', file=sys.stderr)
        print('\n'.join(failures), file=sys.stderr)
        return 1
    finally:
        holding = True
        end_running()
        if not signed and os.path.exists(target):
            os.remove(target)
        if folder:
            shutil.rmtree(folder, ignore_errors=True)


def stop(number, _frame):
    # Turns a termination into an exit, so that the finally above still ends
    # osslsigncode and removes the password.
    global stopped
    stopped = stopped or number
    if not holding:
        raise SystemExit(128 + stopped)


def main(argv):
    if len(argv) in (2, 3) and argv[0] == 'check' and argv[2:] in ([], ['timestamped']):
        return check(argv[1], argv[2:] == ['timestamped'])
    if len(argv) >= 7 and argv[0] == 'sign' and argv[7:8] == ['--']:
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
            signal.signal(number, stop)
        try:
            status = sign(*argv[1:7], argv[8:])
        except SystemExit:   # a signal, once sign has cleaned up
            status = 1
        if stopped:
            print(f'stopped by {signal.Signals(stopped).name}', file=sys.stderr)
            return 128 + stopped
        return status
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
