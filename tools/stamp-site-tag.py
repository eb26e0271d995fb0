#!/usr/bin/env python3
"""Stamps a site tag into an Authenticode-signed setup.exe without breaking its signature.

    stamp-site-tag.py IN.exe TAG [OUT.exe]      (without OUT.exe the file is stamped in place)
    stamp-site-tag.py --read IN.exe             prints the stamped tag, if any

The tag becomes an unsigned attribute of the signature's first SignerInfo (PKCS#7 SignedData inside
the PE certificate table). Neither the file's Authenticode digest (which skips the certificate table)
nor the signer's signature (which covers only the signed attributes) sees it, and the table keeps the
shape the strict padding check wants: the DER blob, then zeros up to the next multiple of 8 bytes and
nothing else. Stamping again replaces the earlier tag.
"""

import os
import re
import shutil
import struct
import sys

TAG_RULE = re.compile(r"[A-Za-z0-9_.-]{1,64}")

# 2.25.284818939344168882029955197877715601834: an OID derived from a UUID of our own (X.667), so it
# needs no registration and cannot collide with an attribute anyone else defines.
TAG_OID = bytes.fromhex("06146983acc690f9a1acaa80a1a187f1a69d8898932a")
SIGNED_DATA_OID = bytes.fromhex("06092a864886f70d010702")

WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002
SECURITY_DIRECTORY = 4


class StampError(Exception):
    pass


# ---- DER --------------------------------------------------------------------------------------

class Tlv:
    """One DER element of a buffer: tag byte, where its content starts and ends."""

    def __init__(self, data, offset, limit):
        if offset + 2 > limit:
            raise StampError("the signature is malformed: an element is cut off")
        self.tag = data[offset]
        if self.tag & 0x1F == 0x1F:
            raise StampError("the signature is malformed: multi-byte tags are not DER of a signature")
        first = data[offset + 1]
        header = 2
        if first < 0x80:
            length = first
        elif first == 0x80:
            raise StampError("the signature is malformed: indefinite lengths are not DER")
        else:
            count = first & 0x7F
            if count > 4 or offset + 2 + count > limit:
                raise StampError("the signature is malformed: a length does not fit")
            length = int.from_bytes(data[offset + 2:offset + 2 + count], "big")
            header += count
        self.start = offset
        self.content = offset + header
        self.end = self.content + length
        if self.end > limit:
            raise StampError("the signature is malformed: an element runs past its parent")
        self.data = data

    def body(self):
        return self.data[self.content:self.end]

    def whole(self):
        return self.data[self.start:self.end]

    def children(self):
        items, offset = [], self.content
        while offset < self.end:
            item = Tlv(self.data, offset, self.end)
            items.append(item)
            offset = item.end
        return items


def der_length(length):
    if length < 0x80:
        return bytes([length])
    raw = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def der(tag, content):
    return bytes([tag]) + der_length(len(content)) + content


def expect(item, tag, what):
    if item.tag != tag:
        raise StampError(f"the signature is malformed: {what} (tag 0x{item.tag:02x})")
    return item


# ---- the tag inside the SignedData ----------------------------------------------------------

def tag_attribute(tag):
    return der(0x30, TAG_OID + der(0x31, der(0x0C, tag.encode("ascii"))))


def is_tag_attribute(attribute):
    return attribute.tag == 0x30 and attribute.body().startswith(TAG_OID)


def signer_parts(pkcs7):
    """The ContentInfo's layers down to the first SignerInfo, each as (element, its children)."""
    content_info = expect(Tlv(pkcs7, 0, len(pkcs7)), 0x30, "no ContentInfo")
    if content_info.end != len(pkcs7):
        raise StampError("the signature is malformed: bytes follow the ContentInfo")
    ci_items = content_info.children()
    if len(ci_items) != 2 or ci_items[0].whole() != SIGNED_DATA_OID:
        raise StampError("the signature is malformed: it is not PKCS#7 SignedData")
    wrapper = expect(ci_items[1], 0xA0, "no SignedData content")
    wrapper_items = wrapper.children()
    if len(wrapper_items) != 1:
        raise StampError("the signature is malformed: the SignedData wrapper holds more than one element")
    signed_data = expect(wrapper_items[0], 0x30, "no SignedData")
    sd_items = signed_data.children()
    signer_infos = expect(sd_items[-1], 0x31, "no SignerInfos") if sd_items else None
    if signer_infos is None or not signer_infos.children():
        raise StampError("the signature is malformed: it has no SignerInfo")
    signer_items = signer_infos.children()
    signer = expect(signer_items[0], 0x30, "no SignerInfo")
    return [(content_info, ci_items), (wrapper, wrapper_items), (signed_data, sd_items),
            (signer_infos, signer_items), (signer, signer.children())]


def read_tag(pkcs7):
    signer, items = signer_parts(pkcs7)[-1]
    if items and items[-1].tag == 0xA1:
        for attribute in items[-1].children():
            if is_tag_attribute(attribute):
                value = attribute.children()[1].children()[0]
                return value.body().decode("ascii", "replace")
    return None


def rebuild(layer, items, index, replacement):
    """The layer's element with child `index` replaced (or appended when index == len(items))."""
    parts = [item.whole() for item in items]
    if index == len(parts):
        parts.append(replacement)
    else:
        parts[index] = replacement
    return der(layer.tag, b"".join(parts))


def stamped_pkcs7(pkcs7, tag):
    layers = signer_parts(pkcs7)
    signer, signer_items = layers[-1]
    attributes = []
    index = len(signer_items)
    if signer_items and signer_items[-1].tag == 0xA1:
        index -= 1
        attributes = [a.whole() for a in signer_items[-1].children() if not is_tag_attribute(a)]
    attributes.append(tag_attribute(tag))
    # DER orders the members of a SET OF by their encodings.
    element = der(0xA1, b"".join(sorted(attributes)))
    element = rebuild(signer, signer_items, index, element)
    # Every enclosing layer gets its new length; the SignerInfo is the first of the SET, the SET the
    # last member of the SignedData, and so on outwards.
    positions = [1, 0, len(layers[2][1]) - 1, 0]
    for (layer, items), position in zip(reversed(layers[:-1]), reversed(positions)):
        element = rebuild(layer, items, position, element)
    return element


# ---- the PE file ------------------------------------------------------------------------------

class PeFile:
    def __init__(self, data):
        self.data = bytearray(data)
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise StampError("not a Windows program (no MZ header)")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if pe + 24 > len(data) or data[pe:pe + 4] != b"PE\0\0":
            raise StampError("not a Windows program (no PE header)")
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic == 0x10B:
            directories = optional + 96
        elif magic == 0x20B:
            directories = optional + 112
        else:
            raise StampError("not a Windows program (unknown optional header)")
        count = struct.unpack_from("<I", data, directories - 4)[0]
        if count <= SECURITY_DIRECTORY or directories + 8 * (SECURITY_DIRECTORY + 1) > len(data):
            raise StampError("the program has no certificate table entry")
        self.checksum_offset = optional + 64
        self.security_entry = directories + 8 * SECURITY_DIRECTORY

    def certificate_table(self):
        offset, size = struct.unpack_from("<II", self.data, self.security_entry)
        if offset == 0 and size == 0:
            raise StampError("the program is not signed (its certificate table is empty)")
        if size < 8 or offset + size > len(self.data):
            raise StampError("the signature is malformed: the certificate table lies outside the file")
        if offset + size != len(self.data):
            raise StampError("the certificate table is not at the end of the file; "
                             "stamp the file the signing tool wrote")
        return offset, size

    def signature(self):
        offset, size = self.certificate_table()
        length, revision, kind = struct.unpack_from("<IHH", self.data, offset)
        if revision != WIN_CERT_REVISION_2_0 or kind != WIN_CERT_TYPE_PKCS_SIGNED_DATA:
            raise StampError("the signature is malformed: the certificate entry is not PKCS#7 signed data")
        if length < 8 or length > size or padded(length) != size:
            raise StampError("the signature is malformed: the certificate table holds other than one entry")
        blob = bytes(self.data[offset + 8:offset + length])
        outer = Tlv(blob, 0, len(blob))  # where the DER ends; what follows must be zeros
        if any(blob[outer.end:]):
            raise StampError("the signature is malformed: bytes other than padding follow it")
        return offset, blob[:outer.end]

    def replace_signature(self, pkcs7):
        offset, _ = self.signature()
        entry_length = padded(8 + len(pkcs7))
        entry = struct.pack("<IHH", entry_length, WIN_CERT_REVISION_2_0, WIN_CERT_TYPE_PKCS_SIGNED_DATA) + pkcs7
        entry += bytes(entry_length - len(entry))
        del self.data[offset:]
        self.data += entry
        struct.pack_into("<II", self.data, self.security_entry, offset, entry_length)
        if struct.unpack_from("<I", self.data, self.checksum_offset)[0] != 0:
            struct.pack_into("<I", self.data, self.checksum_offset, pe_checksum(self.data, self.checksum_offset))


def padded(length):
    return (length + 7) & ~7


def pe_checksum(data, checksum_offset):
    """The image checksum: 16-bit one's-complement-style sum of the file (checksum field as zero)
    plus the file length."""
    buffer = bytes(data[:checksum_offset]) + b"\0\0\0\0" + bytes(data[checksum_offset + 4:])
    if len(buffer) % 2:
        buffer += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", buffer):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


# ---- command line -----------------------------------------------------------------------------

def stamp(source, tag, target):
    if not TAG_RULE.fullmatch(tag):
        raise StampError(f"invalid tag {tag!r}: use 1 to 64 of the characters A-Z a-z 0-9 _ . -")
    with open(source, "rb") as f:
        pe = PeFile(f.read())
    _, pkcs7 = pe.signature()
    pe.replace_signature(stamped_pkcs7(pkcs7, tag))
    temporary = target + ".stamping"
    with open(temporary, "wb") as f:
        f.write(pe.data)
    shutil.copymode(source, temporary)
    os.replace(temporary, target)


def read(source):
    with open(source, "rb") as f:
        pe = PeFile(f.read())
    return read_tag(pe.signature()[1])


def main(argv):
    try:
        if len(argv) == 3 and argv[1] == "--read":
            tag = read(argv[2])
            if tag is None:
                print(f"{argv[2]}: no stamped tag", file=sys.stderr)
                return 1
            print(tag)
            return 0
        if len(argv) not in (3, 4):
            print("usage: stamp-site-tag.py IN.exe TAG [OUT.exe] | --read IN.exe", file=sys.stderr)
            return 2
        stamp(argv[1], argv[2], argv[3] if len(argv) == 4 else argv[1])
        return 0
    except StampError as error:
        print(f"stamp-site-tag: {argv[1] if argv[1] != '--read' else argv[2]}: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"stamp-site-tag: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
