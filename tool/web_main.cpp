// The browser's way into the command, beside the console's (main.cpp): what
// a page (or Node.js) calls on the WebAssembly build instead of main. The
// command runs unchanged over the module's standard streams, which take its
// messages in UTF-8 and hand each line to the page; its files go to the
// module's current directory.
//
// The figures of a run cross to JavaScript one exported function each,
// named as the figure is: a name that one side misspells is a function the
// other side does not have, and the call fails at once.
//
// A page that sets the hooks onDisk and onSalvage (options of the module,
// like print) is told what each disk's run found: during each call the
// accessors below describe that disk. Without them the run is the
// console's, with nothing explained.

#include <emscripten/emscripten.h>

#include <iostream>

#include "tool/command.h"
#include "tool/disk_report.h"

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

const dorvex::PieceReport* Piece(int k) {
  if (g_shown == nullptr || k < 0 || k >= g_shown->piece_count) return nullptr;
  return &g_shown->pieces[k];
}

const dorvex::FileReport* File(int i) {
  if (g_shown == nullptr || i < 0 || i >= g_shown->file_count) return nullptr;
  return &g_shown->files[i];
}

// Each accessor of a piece or a file gives -1 (or an empty name) for an
// index it does not have, or outside a hook's call.
template <typename Field>
int PieceField(int k, Field field) {
  const dorvex::PieceReport* piece = Piece(k);
  return piece != nullptr ? static_cast<int>(field(*piece)) : -1;
}

template <typename Field>
int FileField(int i, Field field) {
  const dorvex::FileReport* file = File(i);
  return file != nullptr ? static_cast<int>(field(*file)) : -1;
}

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
EMSCRIPTEN_KEEPALIVE const char* dorvex_track_state(int t) {
  if (g_shown == nullptr || t < 0 || t >= dorvex::DiskImage::kTrackCount) {
    return "";
  }
  const dorvex::ReadFault state = g_shown->tracks[t];
  return state == dorvex::ReadFault::kNone ? "present"
                                           : dorvex::ReadFaultName(state);
}

// Its pieces, in the order its reads asked for them.
EMSCRIPTEN_KEEPALIVE int dorvex_piece_count() {
  return DiskField([](const DiskReport& d) { return d.piece_count; });
}
EMSCRIPTEN_KEEPALIVE const char* dorvex_piece_role(int k) {
  const PieceReport* piece = Piece(k);
  return piece != nullptr ? dorvex::PieceRoleName(piece->role) : "";
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_file(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.file; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_track(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.at.track; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_cylinder(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.at.c; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_head(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.at.h; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_record(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.at.r; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_size_code(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.size_code; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_from(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.from; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_length(int k) {
  return PieceField(k, [](const PieceReport& p) { return p.length; });
}
EMSCRIPTEN_KEEPALIVE const char* dorvex_piece_state(int k) {
  const PieceReport* piece = Piece(k);
  if (piece == nullptr) return "";
  return piece->state == dorvex::ReadFault::kNone
             ? "read"
             : dorvex::ReadFaultName(piece->state);
}
EMSCRIPTEN_KEEPALIVE int dorvex_piece_held(int k) {
  return PieceField(k, [](const PieceReport& p) {
    return p.state == dorvex::ReadFault::kSectorShort ||
                   p.state == dorvex::ReadFault::kFileEndsInData
               ? p.held
               : 0;
  });
}

// Its files: each directory entry with a length, in entry order.
EMSCRIPTEN_KEEPALIVE int dorvex_file_count() {
  return DiskField([](const DiskReport& d) { return d.file_count; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_entry(int i) {
  return FileField(i, [](const FileReport& f) { return f.entry; });
}
EMSCRIPTEN_KEEPALIVE const char* dorvex_file_name(int i) {
  const FileReport* file = File(i);
  return file != nullptr ? file->name : "";
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_length(int i) {
  return FileField(i, [](const FileReport& f) { return f.length; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_start_track(int i) {
  return FileField(i, [](const FileReport& f) { return f.start_track; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_start_record(int i) {
  return FileField(i, [](const FileReport& f) { return f.start_record; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_first_piece(int i) {
  return FileField(i, [](const FileReport& f) { return f.first_piece; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_piece_count(int i) {
  return FileField(i, [](const FileReport& f) { return f.piece_count; });
}
EMSCRIPTEN_KEEPALIVE int dorvex_file_failed_piece(int i) {
  return FileField(i, [](const FileReport& f) { return f.failed_piece; });
}
EMSCRIPTEN_KEEPALIVE const char* dorvex_file_salvage_name(int i) {
  const FileReport* file = File(i);
  return file != nullptr ? file->salvage_name : "";
}

}  // extern "C"
