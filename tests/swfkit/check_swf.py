#!/usr/bin/python3
"""Checks SWF files with an independent parser (Debian's python3-yaswfp).

Every file given is decompressed (CWS with zlib, ZWS with LZMA), parsed tag by tag, and
fails the check when:
  - the parser cannot read a tag, or a tag's fields do not use up exactly its length;
  - the header's FileLength is not the uncompressed length, or bytes follow the End tag;
  - the header's FrameCount (or a sprite's) is not the number of its ShowFrame tags;
  - an --expect NAME=N count (tags of that name at every nesting level) does not match.

yaswfp reads the style arrays of a StateNewStyles record but takes the new NumFillBits and
NumLineBits from the wrong place; the parser subclass below reads shape records itself with
yaswfp's bit reader. It also adds readers for the few tags yaswfp leaves unparsed
(PlaceObject, DefineBitsLossless/2, DefineMorphShape) and the
named-anchor byte of FrameLabel, built from yaswfp's record readers.

Usage: check_swf.py [--expect NAME=N ...] [--min NAME=N ...] [--quiet] FILE...
"""

import argparse
import collections
import io
import lzma
import struct
import sys
import zlib

from yaswfp import swfparser
from yaswfp.helpers import BitConsumer, unpack_ui8, unpack_ui16, unpack_ui32


class CheckingParser(swfparser.SWFParser):
    """yaswfp's parser with fixed shape records and a few extra tag readers."""

    def _get_shaperecords(self, num_fill_bits, num_line_bits, shape_number):
        records = []
        bits = BitConsumer(self._src)
        while True:
            if bits.u_get(1):
                straight = bits.u_get(1)
                n = bits.u_get(4) + 2
                rec = swfparser._make_object(
                    'StraightEdgeRecord' if straight else 'CurvedEdgeRecord')
                rec.NumBits = n - 2
                if straight:
                    rec.GeneralLineFlag = bits.u_get(1)
                    if rec.GeneralLineFlag:
                        rec.DeltaX = bits.s_get(n)
                        rec.DeltaY = bits.s_get(n)
                    else:
                        rec.VertLineFlag = bits.u_get(1)
                        if rec.VertLineFlag:
                            rec.DeltaY = bits.s_get(n)
                        else:
                            rec.DeltaX = bits.s_get(n)
                else:
                    rec.ControlDeltaX = bits.s_get(n)
                    rec.ControlDeltaY = bits.s_get(n)
                    rec.AnchorDeltaX = bits.s_get(n)
                    rec.AnchorDeltaY = bits.s_get(n)
                records.append(rec)
                continue
            flags = [bits.u_get(1) for _ in range(5)]
            if not any(flags):
                return records
            rec = swfparser._make_object('StyleChangeRecord')
            (rec.StateNewStyles, rec.StateLineStyle, rec.StateFillStyle1,
             rec.StateFillStyle0, rec.StateMoveTo) = flags
            if rec.StateMoveTo:
                n = bits.u_get(5)
                rec.MoveDeltaX = bits.s_get(n) if n else 0
                rec.MoveDeltaY = bits.s_get(n) if n else 0
            if rec.StateFillStyle0:
                rec.FillStyle0 = bits.u_get(num_fill_bits) or 0
            if rec.StateFillStyle1:
                rec.FillStyle1 = bits.u_get(num_fill_bits) or 0
            if rec.StateLineStyle:
                rec.LineStyle = bits.u_get(num_line_bits) or 0
            if rec.StateNewStyles:
                if shape_number < 2:
                    raise ValueError("new styles in DefineShape")
                rec.FillStyles = self._get_struct_fillstylearray(shape_number)
                rec.LineStyles = self._get_struct_linestylearray(shape_number)
                # The arrays end on a byte boundary; the new bit counts follow them.
                bits = BitConsumer(self._src)
                num_fill_bits = bits.u_get(4) or 0
                num_line_bits = bits.u_get(4) or 0
            records.append(rec)

    def _tag_end(self):
        # yaswfp sets the tag's length in src.guard just before calling a tag reader.
        return self._src.tell() + self._src.guard

    def _handle_tag_framelabel(self):
        # yaswfp reads the name only; a named anchor adds one byte, always 1.
        tag_end = self._tag_end()
        obj = swfparser._make_object("FrameLabel")
        obj.Name = self._get_struct_string()
        if self._src.tell() < tag_end:
            obj.NamedAnchor = unpack_ui8(self._src)
            if obj.NamedAnchor != 1:
                raise ValueError("named anchor flag %d" % obj.NamedAnchor)
        return obj

    def _handle_tag_placeobject(self):
        tag_end = self._tag_end()
        obj = swfparser._make_object("PlaceObject")
        obj.CharacterId = unpack_ui16(self._src)
        obj.Depth = unpack_ui16(self._src)
        obj.Matrix = self._get_struct_matrix()
        if self._src.tell() < tag_end:
            bits = BitConsumer(self._src)
            has_add, has_mult, n = bits.u_get(1), bits.u_get(1), bits.u_get(4)
            for _ in range(3 * ((has_add or 0) + (has_mult or 0))):
                bits.u_get(n)
        return obj

    def _lossless(self, name, alpha):
        tag_end = self._tag_end()
        obj = swfparser._make_object(name)
        obj.CharacterId = unpack_ui16(self._src)
        obj.BitmapFormat = fmt = unpack_ui8(self._src)
        obj.BitmapWidth = w = unpack_ui16(self._src)
        obj.BitmapHeight = h = unpack_ui16(self._src)
        colours = unpack_ui8(self._src) + 1 if fmt == 3 else 0
        data = zlib.decompress(self._src.read(tag_end - self._src.tell()))
        if fmt == 3:
            want = colours * (4 if alpha else 3) + ((w + 3) & ~3) * h
        elif fmt == 4:
            want = ((w * 2 + 3) & ~3) * h
        elif fmt == 5:
            want = w * h * 4
        else:
            raise ValueError("bitmap format %d" % fmt)
        if len(data) != want:
            raise ValueError("bitmap data %d bytes, want %d" % (len(data), want))
        return obj

    def _handle_tag_definebitslossless(self):
        return self._lossless("DefineBitsLossless", False)

    def _handle_tag_definebitslossless2(self):
        return self._lossless("DefineBitsLossless2", True)

    def _handle_tag_definemorphshape(self):
        obj = swfparser._make_object("DefineMorphShape")
        obj.CharacterId = unpack_ui16(self._src)
        obj.StartBounds = self._get_struct_rect()
        obj.EndBounds = self._get_struct_rect()
        obj.Offset = unpack_ui32(self._src)
        end_edges = self._src.tell() + obj.Offset
        fills = unpack_ui8(self._src)
        if fills == 0xFF:
            fills = unpack_ui16(self._src)
        for _ in range(fills):
            kind = unpack_ui8(self._src)
            if kind == 0x00:
                self._src.read(8)
            elif kind in (0x10, 0x12, 0x13):
                self._get_struct_matrix()
                self._get_struct_matrix()
                self._src.read(10 * unpack_ui8(self._src))
            elif kind in (0x40, 0x41, 0x42, 0x43):
                unpack_ui16(self._src)
                self._get_struct_matrix()
                self._get_struct_matrix()
            else:
                raise ValueError("morph fill type %#x" % kind)
        lines = unpack_ui8(self._src)
        if lines == 0xFF:
            lines = unpack_ui16(self._src)
        self._src.read(12 * lines)
        obj.StartEdges = self._get_struct_shape()
        if self._src.tell() != end_edges:
            raise ValueError("morph Offset does not point at the end edges")
        obj.EndEdges = self._get_struct_shape()
        starts = [r for r in obj.StartEdges.ShapeRecords if r.name != 'StyleChangeRecord']
        ends = [r for r in obj.EndEdges.ShapeRecords if r.name != 'StyleChangeRecord']
        if len(starts) != len(ends):
            raise ValueError("morph start and end edge counts differ")
        return obj


def uncompressed(data):
    """The FWS form of a SWF file, or raises ValueError."""
    if len(data) < 8 or data[1:3] != b'WS':
        raise ValueError("not a SWF file")
    length = struct.unpack('<I', data[4:8])[0]
    sig = data[0:1]
    if sig == b'F':
        return data
    if sig == b'C':
        body = zlib.decompress(data[8:])
    elif sig == b'Z':
        if len(data) < 17:
            raise ValueError("short ZWS header")
        packed = struct.unpack('<I', data[8:12])[0]
        if packed != len(data) - 17:
            raise ValueError("ZWS compressed length %d, actual %d" % (packed, len(data) - 17))
        alone = data[12:17] + struct.pack('<Q', length - 8) + data[17:]
        try:
            body = lzma.decompress(alone, format=lzma.FORMAT_ALONE)
        except lzma.LZMAError:
            alone = data[12:17] + b'\xff' * 8 + data[17:]
            body = lzma.decompress(alone, format=lzma.FORMAT_ALONE)
    else:
        raise ValueError("unknown signature")
    return b'FWS' + data[3:8] + body


def walk(tags, counts, problems, where):
    frames = 0
    for tag in tags:
        kind = type(tag).__name__
        name = getattr(tag, 'name', kind)
        if kind == 'FailingObject':
            problems.append("%s: tag %s could not be parsed" % (where, name))
        if kind == 'UnknownObject':
            counts['unparsed:' + name] += 1
        counts[name] += 1
        if name == 'ShowFrame':
            frames += 1
        if name == 'DefineSprite' and kind != 'FailingObject':
            inner = walk(tag.ControlTags, counts, problems, "%s/sprite %d" % (where, tag.CharacterID))
            if inner != tag.FrameCount:
                problems.append("%s: sprite %d FrameCount %d but %d ShowFrame tags" % (
                    where, tag.CharacterID, tag.FrameCount, inner))
    return frames


def check(path, expect, minimum, quiet):
    problems = []
    with open(path, 'rb') as f:
        data = f.read()
    try:
        fws = uncompressed(data)
    except (ValueError, zlib.error, lzma.LZMAError) as e:
        return ["%s: %s" % (path, e)]
    try:
        parser = CheckingParser(io.BytesIO(fws))
    except Exception as e:  # the parser raises assorted errors on broken input
        return ["%s: parser error: %r" % (path, e)]
    header = parser.header
    if header.FileLength != len(fws):
        problems.append("%s: FileLength %d, uncompressed length %d" % (
            path, header.FileLength, len(fws)))
    if parser._src.tell() != len(fws):
        problems.append("%s: %d bytes after the End tag (or no End tag)" % (
            path, len(fws) - parser._src.tell()))
    counts = collections.Counter()
    frames = walk(parser.tags, counts, problems, path)
    if frames != header.FrameCount:
        problems.append("%s: FrameCount %d but %d ShowFrame tags" % (
            path, header.FrameCount, frames))
    if frames == 0:
        problems.append("%s: no frames" % path)
    for name, n in expect.items():
        if counts[name] != n:
            problems.append("%s: %d %s tags, expected %d" % (path, counts[name], name, n))
    for name, n in minimum.items():
        if counts[name] < n:
            problems.append("%s: %d %s tags, expected at least %d" % (
                path, counts[name], name, n))
    if not quiet:
        summary = ", ".join("%s %d" % kv for kv in sorted(counts.items()))
        print("%s: %s v%d, %d bytes, %d frames at %.2f fps: %s" % (
            path, data[0:3].decode(), header.Version, len(data), frames,
            header.FrameRate / 256.0, summary))
    return problems


def pairs(values):
    out = {}
    for v in values or []:
        name, _, n = v.rpartition('=')
        out[name] = int(n)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--expect', action='append', help='NAME=N exact tag count')
    ap.add_argument('--min', action='append', help='NAME=N minimum tag count')
    ap.add_argument('--quiet', action='store_true')
    ap.add_argument('files', nargs='+')
    args = ap.parse_args()
    problems = []
    for path in args.files:
        problems += check(path, pairs(args.expect), pairs(args.min), args.quiet)
    for p in problems:
        print("FAIL " + p)
    if problems:
        return 1
    print("%d file(s) OK" % len(args.files))
    return 0


if __name__ == '__main__':
    sys.exit(main())
