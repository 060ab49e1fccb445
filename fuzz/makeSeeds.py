#!/usr/bin/env python3
"""Writes the seed corpora of the message-box and pNotify fuzzers.

The inputs follow the readers in fuzzInput.h: little-endian values, and each
text as a stored length, a run length and a short pattern repeated over the
run. Run from anywhere; the files land in fuzz/corpus/<fuzzer>/.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def text16(units, stored=None, count=None):
    """A UTF-16 text field: a pattern of at most 31 units repeated to count."""
    raw = units.encode('utf-16-le', 'surrogatepass')
    pattern = [raw[i] | raw[i + 1] << 8 for i in range(0, len(raw), 2)][:31]
    if count is None:
        count = len(pattern)
    if stored is None:
        stored = count
    data = struct.pack('<HHB', stored, count, len(pattern))
    return data + b''.join(struct.pack('<H', u) for u in pattern)


def text8(chars, stored=None, count=None):
    pattern = chars[:31]
    if count is None:
        count = len(chars)
    if stored is None:
        stored = count
    return struct.pack('<HHB', stored, count, len(pattern)) + pattern.encode('latin-1')


def write(fuzzer, name, data):
    directory = os.path.join(HERE, 'corpus', fuzzer)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), 'wb') as f:
        f.write(data)


# appendToMessageBoxFuzzer: mode, box, reserved word, text, reserved word.
def box_case(name, box, text, in_place=False):
    write('appendToMessageBoxFuzzer', name,
          bytes([1 if in_place else 0]) + box + b'\0\0' + text + b'\0\0')


box_case('empty-box', text16(''), text16('line one\nline two'))
box_case('separator-before-empty-text', text16('old'), text16(''))
box_case('line-of-250', text16('a'), text16('x', count=250))
box_case('line-of-251', text16('a'), text16('x', count=251))
box_case('text-600-no-line-feed', text16(''), text16('0123456789', count=600))
box_case('box-2398-text-100', text16('b', count=2398), text16('m', count=100))
box_case('box-2400-text-100-trim', text16('b', count=2400), text16('m', count=100))
box_case('box-1-text-2500', text16('b'), text16('t', count=2500))
box_case('stored-length-65535', text16('b', stored=0xFFFF, count=2501), text16('m', stored=0xFFFF, count=2501))
box_case('stored-length-65535-in-place', text16('b', stored=0xFFFF, count=2501),
         text16('m', stored=0xFFFF, count=2501), in_place=True)
box_case('line-feeds-and-carriage-returns', text16('old\r\n'), text16('ab\r\n\ncd\n' + 'z' * 20, count=900))
box_case('zero-units-inside', text16('a\0b'), text16('c\0d', count=300))


# pNotifyFuzzer: flags, marker choice, throw choice, progress code, job ID,
# client count; scene, image, image extension, info text, recipient list;
# then per client: mode, name, message box.
FLAG_BROKEN_MARKER = 0x01
FLAG_LOG_THROWS = 0x02
FLAG_NO_MAIN_LOG = 0x04
FLAG_NO_TABLE = 0x08
MODE_NULL_ENTRY = 0x01
MODE_NAME_OF_PART = 0x02


def client(name=None, box=None, mode=0, part=0):
    if name is None:
        name = text8('')
    if box is None:
        box = text16('')
    return bytes([mode | (part << 2) | (MODE_NAME_OF_PART if part else 0)]) + name + box


def job_case(name, recipients, clients, flags=0, marker=0, throw=0, progress=200,
             job_id=b'\x01\0\0\x15\xcd\x5b\x07\0', count=6,
             scene=None, image=None, extension=None, info=None):
    data = bytes([flags, marker, throw, progress]) + job_id + struct.pack('<b', count)
    for field in (scene or text16('shot010'), image or text16('beauty'),
                  extension or text16('.exr'), info or text16('info'), recipients):
        data += field
    clients = list(clients) + [client()] * (6 - len(clients))
    for c in clients:
        data += c
    write('pNotifyFuzzer', name, data)


two = [client(text8('render01')), client(text8('RENDER02'), text16('earlier message'))]
job_case('delivered-to-two', text16('render01;render02'), two)
job_case('named-twice', text16('render01;render01'), two)
job_case('blank-after-separator', text16('render01; render02'), two)
job_case('no-client-named', text16('nobody'), two)
job_case('empty-parts', text16('a;;'), [client(text8('x')), client(text8(''))])
job_case('no-recipients', text16(''), two)
job_case('broken-marker', text16('render01'), two, flags=FLAG_BROKEN_MARKER, marker=3)
job_case('log-throws-at-summary', text16('render01'), two, flags=FLAG_LOG_THROWS, throw=2)
job_case('log-throws-at-start', text16('render01'), two, flags=FLAG_LOG_THROWS, throw=0)
job_case('no-main-log', text16('render01'), two, flags=FLAG_NO_MAIN_LOG)
job_case('no-client-table', text16('render01'), two, flags=FLAG_NO_TABLE)
job_case('null-entry-and-count-beyond', text16('render01'),
         [client(text8('render01'), mode=MODE_NULL_ENTRY), client(text8('render01'))], count=100)
job_case('negative-count', text16('render01'), two, count=-5)
job_case('progress-codes-120-121-180', text16('r;s;t'),
         [client(part=1), client(part=2), client(part=3)], progress=121)
job_case('not-latin-1', text16('caf\u00e9;\u20ac;\U0001F600'),
         [client(part=1), client(part=2), client(text8('?'))])
everything_long = dict(scene=text16('s%6', stored=0xFFFF, count=1001),
                       image=text16('i', stored=0xFFFF, count=501),
                       extension=text16('e', stored=0xFFFF, count=501),
                       info=text16('n\n', stored=0xFFFF, count=101))
job_case('stored-lengths-65535', text16('r0;r1;r2;r3;r4;r5;r6;r7;r8;r9;', stored=0xFFFF, count=51),
         [client(text8('n', stored=0xFFFF, count=51), text16('b', stored=0xFFFF, count=2501), part=k + 1)
          for k in range(6)], **everything_long)
job_case('full-boxes', text16('render01'),
         [client(text8('render01'), text16('old message\n\n', count=2500))] * 6,
         scene=text16('x', count=1000))


# kxhostInputFuzzer: the bytes of a farm or job event file, given to both readers.
EXAMPLES = os.path.join(HERE, '..', 'examples')
for name in ('farm.json', 'jobs.json'):
    with open(os.path.join(EXAMPLES, name), 'rb') as f:
        example = f.read()
    write('kxhostInputFuzzer', 'example-' + name, example)
    write('kxhostInputFuzzer', 'byte-order-mark-' + name, b'\xef\xbb\xbf' + example)
write('kxhostInputFuzzer', 'key-twice-escaped',
      b'{"logFolder": "l", "clients": [{"name": "a", "n\\u0061me": "b"}]}')
write('kxhostInputFuzzer', 'numbers-at-the-edges',
      b'{"logFolder": "l", "log": {"enabledCategories": [63, 0.0, 1e300, -0, 18446744073709551616],'
      b' "splitCategory": -128}, "clients": []}')
write('kxhostInputFuzzer', 'job-id-forms',
      b'{"events": [{"jobIdBytes": "02 00 00 15 cd 5b 07 00", "progressCode": 255, "recipients": ""},'
      b' {"jobId": "{AAAlq}", "progressCode": 0, "recipients": "r;s", "infoText": "\\u0000\\ud83d\\ude00"}]}')
write('kxhostInputFuzzer', 'deep-nesting', b'{"logFolder": ' + b'[' * 2000 + b']' * 2000 + b'}')
