// The browser's way into the command, beside the console's (main.cpp): what
// a page (or Node.js) calls on the WebAssembly build instead of main. The
// command runs unchanged over the module's standard streams, which take its
// messages in UTF-8 and hand each line to the page; its files go to the
// module's current directory.
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
#include <iostream>

#include "tool/command.h"
#include "tool/disk_report.h"
#include "tool/shift_jis.h"

// Whether the page asked to be told of each disk.
EM_JS(int, dorvex_page_observes, (),
      { return typeof Module['onDisk'] == 'function' ? 1 : 0; });

EM_JS(void, dorvex_page_on_disk, (), { Module['onDisk'](); });

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

// Runs the command on the image at `path`, as `dorvex path` would. Returns
// its exit status.
EMSCRIPTEN_KEEPALIVE int dorvex_run(const char* path) {
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

// The figures of the last run, or of the run under way as each message line
// is written (the disk of that line counted as reached).
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
EMSCRIPTEN_KEEPALIVE const char* dorvex_track_state(int t) {
  if (g_shown == nullptr || t < 0 || t >= dorvex::DiskImage::kTrackCount) {
    return "";
  }
  const dorvex::ReadFault state = g_shown->tracks[t];
  return state == dorvex::ReadFault::kNone ? "present"
                                           : dorvex::ReadFaultName(state);
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
