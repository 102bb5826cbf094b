// Structure walks of the families whose end the format itself tells, beside the
// JPEG, PNG, GIF and MP3 walks (FormatWalk.h). Each takes a cursor over the found
// file (file offset 0 is its first byte, every read bounded by the rule's
// approximate size and the volume) and says how the file ends. Every size from
// the image is checked against the room left before it is added to an offset.
#pragma once

#include "raw/WalkCursor.h"

namespace tavrel::raw {

// Ogg: pages one after the other until every logical stream begun has had its
// end-of-stream page (chained streams that follow at once are taken along).
Walked oggWalk(WalkCursor& c);
// ISO base media (MP4, MOV, M4A, 3GP): top-level boxes from ftyp on, 32- or
// 64-bit sizes, up to the first bytes that are no top-level box.
Walked isoMediaWalk(WalkCursor& c);
// RIFF (WAV, AVI, WebP): the RIFF chunk's size plus its 8-byte header, and the
// AVIX chunks that extend a large AVI.
Walked riffWalk(WalkCursor& c);
// MPEG program stream: pack headers, system headers and PES packets up to the
// end code 00 00 01 B9, or without one up to the first bytes that are no packet.
Walked mpegPsWalk(WalkCursor& c);
// EBML (Matroska, WebM): the EBML header, then the Segment by its size, or by
// its top-level elements when the size is unknown.
Walked ebmlWalk(WalkCursor& c);
// OLE2 compound file: up to the highest sector its allocation table uses.
Walked ole2Walk(WalkCursor& c);
// PDF: up to the last "%%EOF" (and its line break) that no incremental update follows.
Walked pdfWalk(WalkCursor& c);
// BMP: the file size its header states, checked against the bitmap header.
Walked bmpWalk(WalkCursor& c);
// TIFF, either byte order: the furthest byte its directories, their values and
// their strips or tiles use.
Walked tiffWalk(WalkCursor& c);
// FLAC: metadata blocks, then audio frames (each header and frame checksummed)
// up to the last frame.
Walked flacWalk(WalkCursor& c);
// gzip: each member's deflate stream inflated to its end, then its trailer.
Walked gzipWalk(WalkCursor& c);
// bzip2: up to the bit-aligned end-of-stream marker and its checksum.
Walked bzip2Walk(WalkCursor& c);
// xz: up to the stream footer that matches the stream header.
Walked xzWalk(WalkCursor& c);
// 7z: the start header's next-header offset and size.
Walked sevenZipWalk(WalkCursor& c);
// ELF: the furthest of its headers, program segments and sections.
Walked elfWalk(WalkCursor& c);
// PE: the furthest of its headers, section data, certificate table and COFF
// symbol table.
Walked peWalk(WalkCursor& c);
// Plain text (scripts, markup): up to the first byte that is no text (a NUL, a
// control byte, broken UTF-8).
Walked textWalk(WalkCursor& c);

}  // namespace tavrel::raw
