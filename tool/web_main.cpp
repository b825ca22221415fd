// The browser's way into the command, beside the console's (main.cpp): what
// a page (or Node.js) calls on the WebAssembly build instead of main. The
// command runs unchanged over the module's standard streams, which take its
// messages in UTF-8 and hand each line to the page, and over a file system
// held in memory (platform/memory_files.h): the page keeps the image and
// copies each part into the module as the command reads it (readImage, an
// option of the module like print), and takes each file the run left once,
// from a table.
//
// The figures of a run cross to JavaScript one exported function each (a
// disk's pieces and files a table each), named as the figure is: a name that
// one side misspells is a function the other side does not have, and the call
// fails at once.
//
// A page that sets the hooks onDisk and onSalvage (options of the module,
// like print) is told what each disk's run found: during each call the
// accessors below describe that disk. Without them the run is the
// console's, with nothing explained.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include "image/byte_order.h"
#include "platform/memory_files.h"
#include "tool/command.h"
#include "tool/disk_report.h"
#include "tool/shift_jis.h"

// Whether the page asked to be told of each disk.
EM_JS(int, dorvex_page_observes, (),
      { return typeof Module['onDisk'] == 'function' ? 1 : 0; });

EM_JS(void, dorvex_page_on_disk, (), { Module['onDisk'](); });

EM_JS(size_t, dorvex_page_read_image,
      (double offset, uint8_t* dst, size_t length),
      { return Module['readImage'](offset, dst, length); });

EM_JS(void, dorvex_page_on_salvage,
      (int file, const uint8_t* bytes, int length), {
        if (typeof Module['onSalvage'] == 'function') {
          Module['onSalvage'](file, bytes, length);
        }
      });

namespace {

dorvex::RunSummary g_summary;

// The disk the page is being told of, for the call's duration.
const dorvex::DiskReport* g_shown = nullptr;

class PageObserver : public dorvex::RunObserver {
 public:
  void OnSalvage(const dorvex::DiskReport& report, int32_t file,
                 const uint8_t* bytes, int32_t length) override {
    g_shown = &report;
    dorvex_page_on_salvage(file, bytes, length);
    g_shown = nullptr;
  }

  void OnDisk(const dorvex::DiskReport& report) override {
    g_shown = &report;
    dorvex_page_on_disk();
    g_shown = nullptr;
  }
};

PageObserver g_observer;

int Run(const char* path);

size_t ReadImage(void*, uint64_t offset, uint8_t* dst, size_t length) {
  return dorvex_page_read_image(static_cast<double>(offset), dst, length);
}

// The files the last run left: name, bytes, length (addresses 32 bits) and
// the CRC-32 of the bytes, which the page's zip needs: here it runs several
// times faster than in JavaScript.
constexpr int kOutputFields = 4;

// The CRC-32 of zip files (reflected, polynomial 0xEDB88320), eight bytes
// a step with a table for each byte of the step.
class Crc32 {
 public:
  Crc32() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      table_[0][i] = c;
    }
    for (int t = 1; t < 8; ++t) {
      for (int i = 0; i < 256; ++i) {
        const uint32_t before = table_[t - 1][i];
        table_[t][i] = (before >> 8) ^ table_[0][before & 255];
      }
    }
  }

  uint32_t Of(const uint8_t* bytes, size_t length) const {
    uint32_t c = 0xFFFFFFFFu;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
      const uint32_t a =
          c ^ static_cast<uint32_t>(dorvex::DecodeLe32(bytes + i));
      c = table_[7][a & 255] ^ table_[6][(a >> 8) & 255] ^
          table_[5][(a >> 16) & 255] ^ table_[4][a >> 24] ^
          table_[3][bytes[i + 4]] ^ table_[2][bytes[i + 5]] ^
          table_[1][bytes[i + 6]] ^ table_[0][bytes[i + 7]];
    }
    for (; i < length; ++i) c = table_[0][(c ^ bytes[i]) & 255] ^ (c >> 8);
    return ~c;
  }

 private:
  uint32_t table_[8][256];
};
int32_t* g_output_table = nullptr;
int32_t g_output_count = 0;

// Fills g_output_table from the store; false when there is no room for it.
bool TabulateOutput() {
  const dorvex::MemoryFiles& files = dorvex::TheMemoryFiles();
  g_output_count = 0;
  std::free(g_output_table);
  g_output_table = static_cast<int32_t*>(std::malloc(
      sizeof(int32_t) * kOutputFields *
      static_cast<size_t>(files.SlotCount() > 0 ? files.SlotCount() : 1)));
  if (g_output_table == nullptr) return false;
  static const Crc32 crc;
  for (int32_t i = 0; i < files.SlotCount(); ++i) {
    const dorvex::MemoryFiles::File& file = files.Slot(i);
    if (file.name == nullptr) continue;
    int32_t* row = g_output_table + kOutputFields * g_output_count++;
    row[0] = static_cast<int32_t>(reinterpret_cast<uintptr_t>(file.name));
    row[1] = static_cast<int32_t>(reinterpret_cast<uintptr_t>(file.data));
    row[2] = static_cast<int32_t>(file.size);
    row[3] = static_cast<int32_t>(crc.Of(file.data, file.size));
  }
  return true;
}

constexpr int kPieceFields = 16;
constexpr int kFileFields = 8;
int32_t g_piece_table[dorvex::DiskReport::kMaxPieces * kPieceFields];
int32_t g_file_table[dorvex::kDirectoryEntries * kFileFields];
// Each name is 3 characters; a space between them.
char g_file_names[dorvex::kDirectoryEntries * 4];

// A name's address in the module's memory, as the page reads it (32 bits).
int32_t AddressOf(const char* name) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(name));
}

const char* PieceStateName(dorvex::ReadFault state) {
  return state == dorvex::ReadFault::kNone ? "read"
                                           : dorvex::ReadFaultName(state);
}

const dorvex::FileReport* File(int i) {
  if (g_shown == nullptr || i < 0 || i >= g_shown->file_count) return nullptr;
  return &g_shown->files[i];
}

// Each accessor gives -1 (or an empty name, or no table) outside a hook's
// call.
template <typename Field>
int DiskField(Field field) {
  return g_shown != nullptr ? static_cast<int>(field(*g_shown)) : -1;
}

}  // namespace

extern "C" {

// Runs the command on the page's image of `size` bytes under the name
// `path`, as `dorvex path` would, into an empty directory. Returns its exit
// status; its files are then in dorvex_output_table. A status of -1: no
// room for that table.
EMSCRIPTEN_KEEPALIVE int dorvex_run(const char* path, double size) {
  dorvex::MemoryFiles& files = dorvex::TheMemoryFiles();
  files.Clear();
  files.LendImage(path, size > 0 ? static_cast<uint64_t>(size) : 0, ReadImage,
                  nullptr);
  const int status = Run(path);
  files.LendImage(nullptr, 0, nullptr, nullptr);
  return TabulateOutput() ? status : -1;
}

// The files the last run left, in the order made, kOutputFields a row.
EMSCRIPTEN_KEEPALIVE int dorvex_output_count() { return g_output_count; }
EMSCRIPTEN_KEEPALIVE int dorvex_output_fields() { return kOutputFields; }
EMSCRIPTEN_KEEPALIVE const int32_t* dorvex_output_table() {
  return g_output_table;
}

}  // extern "C"

namespace {

int Run(const char* path) {
  using dorvex::StandardStream;
  using dorvex::TextForm;
  const char* const argv[] = {"dorvex", path, nullptr};
  const dorvex::MessageStream out(std::cout, TextForm::kUtf8,
                                  StandardStream::kOutput);
  const dorvex::MessageStream err(std::cerr, TextForm::kUtf8,
                                  StandardStream::kError);
  return dorvex::RunCommand(2, argv, out, err, &g_summary,
                            dorvex_page_observes() ? &g_observer : nullptr);
}

}  // namespace

extern "C" {

// The figures of the last run, or of the run under way as each message line
// is written (the disk of that line counted as reached): one at a time, or
// all five in a table (disks, reached, data disks, written, failed), for a
// page that reads them at every line.
EMSCRIPTEN_KEEPALIVE const int32_t* dorvex_figures() {
  static int32_t figures[5];
  figures[0] = g_summary.disks;
  figures[1] = g_summary.disks_reached;
  figures[2] = g_summary.data_disks;
  figures[3] = g_summary.files_written;
  figures[4] = g_summary.files_failed;
  return figures;
}
EMSCRIPTEN_KEEPALIVE int dorvex_disks() { return g_summary.disks; }
EMSCRIPTEN_KEEPALIVE int dorvex_disks_reached() {
  return g_summary.disks_reached;
}
EMSCRIPTEN_KEEPALIVE int dorvex_data_disks() { return g_summary.data_disks; }
EMSCRIPTEN_KEEPALIVE int dorvex_files_written() {
  return g_summary.files_written;
}
EMSCRIPTEN_KEEPALIVE int dorvex_files_failed() {
  return g_summary.files_failed;
}

using dorvex::DiskReport;
using dorvex::FileReport;
using dorvex::PieceReport;

// The disk of the hook's call.
EMSCRIPTEN_KEEPALIVE int dorvex_disk_position() {
  return DiskField([](const DiskReport& d) { return d.position; });
}
// Its header's name decoded from Shift_JIS, as dorvex-probe decodes it (""
// for a disk whose header cannot be read), and its media type (-1: none).
EMSCRIPTEN_KEEPALIVE const char* dorvex_disk_name() {
  static char
      name[dorvex::DiskImage::kDiskNameLength * dorvex::kUtf8PerShiftJisByte +
           1];
  if (g_shown == nullptr) return "";
  const char* stored = g_shown->disk_name;
  size_t length = 0;
  while (length < dorvex::DiskImage::kDiskNameLength && stored[length] != 0) {
    ++length;
  }
  dorvex::DecodeShiftJis(stored, length, name, sizeof name);
  return name;
}
EMSCRIPTEN_KEEPALIVE int dorvex_disk_media() {
  return DiskField([](const DiskReport& d) { return d.media_type; });
}
EMSCRIPTEN_KEEPALIVE const char* dorvex_disk_verdict() {
  return g_shown != nullptr ? dorvex::DiskVerdictName(g_shown->verdict) : "";
}
EMSCRIPTEN_KEEPALIVE int dorvex_disk_number() {
  return DiskField([](const DiskReport& d) { return d.disk_number; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_disk_mark_offset() {
  return DiskField([](const DiskReport& d) { return d.mark_offset; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_disk_mark_value() {
  return DiskField([](const DiskReport& d) { return d.mark_value; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_directory_read() {
  return DiskField([](const DiskReport& d) { return d.directory_read; });
}
// The first doubtful piece of the identification block and of the
// directory, each read whole; -1 when none.
EMSCRIPTEN_KEEPALIVE int dorvex_identification_doubtful() {
  return DiskField([](const DiskReport& d) {
    return d.DoubtfulPiece(dorvex::PieceRole::kIdentification);
  });
}
EMSCRIPTEN_KEEPALIVE int dorvex_directory_doubtful() {
  return DiskField([](const DiskReport& d) {
    return d.DoubtfulPiece(dorvex::PieceRole::kDirectory);
  });
}
// Each track's state, the address of its name, in a table of kTrackCount:
// one call a disk, not one a track.
EMSCRIPTEN_KEEPALIVE const int32_t* dorvex_track_table() {
  static int32_t table[dorvex::DiskImage::kTrackCount];
  if (g_shown == nullptr) return nullptr;
  for (int t = 0; t < dorvex::DiskImage::kTrackCount; ++t) {
    const dorvex::ReadFault state = g_shown->tracks[t];
    table[t] = AddressOf(state == dorvex::ReadFault::kNone
                             ? "present"
                             : dorvex::ReadFaultName(state));
  }
  return table;
}

// Its pieces, in the order its reads asked for them, and its files (each
// directory entry with a length, in entry order): a table of numbers each,
// filled by one call, since an image of 64 disks has some 50,000 pieces and
// a call a figure costs the page more than the run's own reads. A row's
// role and state are the addresses of their names; the page checks the
// count of fields in a row, so that neither side adds one alone.
EMSCRIPTEN_KEEPALIVE int dorvex_piece_count() {
  return DiskField([](const DiskReport& d) { return d.piece_count; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_fields() { return kPieceFields; }
// role, file, track, C, H, R, N, from, length, state, held, then what the
// header of a piece read whole records: doubt, status, deleted mark,
// density, twin (1 or 0).
EMSCRIPTEN_KEEPALIVE const int32_t* dorvex_piece_table() {
  if (g_shown == nullptr) return nullptr;
  int32_t* row = g_piece_table;
  for (int32_t k = 0; k < g_shown->piece_count; ++k, row += kPieceFields) {
    const PieceReport& p = g_shown->pieces[k];
    const bool counted = p.state == dorvex::ReadFault::kSectorShort ||
                         p.state == dorvex::ReadFault::kFileEndsInData;
    const int32_t fields[kPieceFields] = {
        AddressOf(dorvex::PieceRoleName(p.role)),
        p.file,
        p.at.track,
        p.at.c,
        p.at.h,
        p.at.r,
        p.size_code,
        p.from,
        p.length,
        AddressOf(PieceStateName(p.state)),
        counted ? p.held : 0,
        AddressOf(dorvex::SectorDoubtName(p.doubt)),
        p.marks.status,
        p.marks.deleted,
        p.marks.density,
        p.marks.twin ? 1 : 0};
    std::copy(fields, fields + kPieceFields, row);
  }
  return g_piece_table;
}

EMSCRIPTEN_KEEPALIVE int dorvex_file_count() {
  return DiskField([](const DiskReport& d) { return d.file_count; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_fields() { return kFileFields; }
// entry, length, start track, start record, first piece, piece count,
// failed piece (-1: read whole), doubtful piece (-1: none, or failed).
EMSCRIPTEN_KEEPALIVE const int32_t* dorvex_file_table() {
  if (g_shown == nullptr) return nullptr;
  int32_t* row = g_file_table;
  for (int32_t i = 0; i < g_shown->file_count; ++i, row += kFileFields) {
    const FileReport& f = g_shown->files[i];
    const int32_t fields[kFileFields] = {
        f.entry,       f.length,      f.start_track,  f.start_record,
        f.first_piece, f.piece_count, f.failed_piece, f.doubtful_piece};
    std::copy(fields, fields + kFileFields, row);
  }
  return g_file_table;
}
// The console's names of the files, in the table's order, a space between.
EMSCRIPTEN_KEEPALIVE const char* dorvex_file_names() {
  char* at = g_file_names;
  for (int32_t i = 0; g_shown != nullptr && i < g_shown->file_count; ++i) {
    if (i > 0) *at++ = ' ';
    const char* name = g_shown->files[i].name;
    for (int c = 0; c < 3 && name[c] != '\0'; ++c) *at++ = name[c];
  }
  *at = '\0';
  return g_file_names;
}
EMSCRIPTEN_KEEPALIVE const char* dorvex_file_salvage_name(int i) {
  const FileReport* file = File(i);
  return file != nullptr ? file->salvage_name : "";
}

}  // extern "C"
