#ifndef DORVEX_IMAGE_DISK_IMAGE_H_
#define DORVEX_IMAGE_DISK_IMAGE_H_

#include <cstdint>

#include "image/image_file.h"
#include "image/read_fault.h"
#include "image/sector_header.h"
#include "image/sector_marks.h"
#include "image/sector_run.h"
#include "image/track_sweep.h"
#include "image/track_walk.h"

namespace dorvex {

// Reads an image file in the D88 layout: one or more floppy-disk images one
// after another, each a 688-byte disk header (name, media type, disk size and
// a table of 164 track offsets) followed by its tracks. A track is a run of
// sectors, each a 16-byte sector header followed by its data.
//
// Every failure is a result: false, 0 or a short count. Nothing is allocated.
class DiskImage {
 public:
  static constexpr int32_t kMaxDisks = 64;
  static constexpr int32_t kTrackCount = 164;
  static constexpr int32_t kDiskHeaderSize = 688;
  static constexpr int32_t kSectorHeaderSize = SectorHeader::kSize;
  static constexpr int32_t kDiskNameLength = 16;

  DiskImage() = default;
  DiskImage(const DiskImage&) = delete;
  DiskImage& operator=(const DiskImage&) = delete;

  // Opens the image file at `path`, closing any other, and indexes up to 64
  // disks, stopping at the first disk header that cannot be read whole.
  // Returns false only when the file cannot be opened (or cannot be read at
  // all, as a directory). A file too short for one header opens with a disk
  // count of 0.
  bool Open(const char* path);

  // Closes the image file, if one is open; the disk count becomes 0 and the
  // media type -1, while the last disk name stays.
  void Close();

  // Number of disks the last Open indexed, 0 to 64.
  int32_t GetDiskCount() const { return disk_count_; }

  // Makes disk `index` (from 0) the selected disk and loads its header.
  // Returns false with no image open (nothing changes), and with the
  // selection cleared for an index outside 0 to disk count - 1 or a header
  // that can no longer be read whole.
  bool SelectDisk(int32_t index);

  // The selected disk's name: at most 16 characters, always terminated.
  const char* GetDiskName() const { return disk_name_; }

  // The selected disk's media-type byte (0 to 255), or -1 when none.
  int32_t GetMediaType() const { return media_type_; }

  // The identity of the open image file, so that a caller can tell it from
  // the files it writes; unknown when none is open.
  const FileIdentity& GetFileIdentity() const { return file_.Identity(); }

  // Sets the sector window: sector `last` of a track is followed, in a run,
  // by sector `first` of the next track.
  void SetSectorRange(int32_t first, int32_t last) {
    first_sector_ = first;
    last_sector_ = last;
  }

  // Reads the first sector of `track` whose header carries C/H/R/N equal to
  // c/h/r/n: at most `max_length` bytes of its data into `buffer`. Returns
  // the count placed there (short when the file ends inside the data), or 0
  // when the track or the sector cannot be found. The search walks the
  // track's headers from the first, but what a walk passed is remembered
  // until the next SelectDisk or Open, for the cylinder and head last asked
  // of each track and two size codes: a later lookup reads only its
  // sector's data, or walks on from where the walk stopped. Once the walks
  // of a disk have read more headers than a real disk holds, a lookup of a
  // track's own cylinder and head takes the walks of every track to their
  // ends together, in one pass over the file. So the lookups of a disk read
  // the file about once; twice at most, when an image gives a walk's second
  // size code to sectors that nothing asks for.
  // When the count is short of `max_length` and `fault` is given, says why
  // there; kNone otherwise.
  int32_t ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                     uint8_t* buffer, int32_t max_length,
                     ReadFault* fault = nullptr);

  // Reads `length` bytes from a run of sectors of size code `n` that starts
  // at C/H/R and steps through the sector window and on to the next tracks,
  // filling 128 << n bytes from each. Returns the bytes of the pieces read
  // whole, 0 to `length`; bytes of a short last piece may stand in `buffer`.
  // When short and `fault` is given, says why the first piece not read whole
  // fell short (kRecordOutOfRange for a size code no header can carry).
  int32_t ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                      uint8_t* buffer, int32_t length,
                      ReadFault* fault = nullptr);

  // Finds the sector that ReadSector would read for the same address,
  // without reading its data, and gives what its header records beside its
  // address, and whether the walk of its track has passed another header of
  // that address (after FinishWalks, whether the track holds one). False
  // when the sector is not found, as ReadSector would give 0.
  bool ReadSectorMarks(int32_t track, int32_t c, int32_t h, int32_t r,
                       int32_t n, SectorMarks* marks);

  // Whether the walk of `track` for c/h has passed a second header with the
  // address of the sector R = r of size code n that it found first.
  bool HasTwin(int32_t track, int32_t c, int32_t h, int32_t r,
               int32_t n) const {
    if (track < 0 || track >= kTrackCount) return false;
    const TrackWalk& walk = walks_[track];
    return walk.IsFor(c, h) && r >= 0 && r < TrackWalk::kRecordNumbers &&
           walk.HasTwin(r, n);
  }

  // Walks the walk of every track that lookups of the selected disk began
  // on, for up to kFinishHeaders more headers each, so that each has passed
  // every header a track holds: a real track holds a few dozen, and a walk
  // that runs on further is no track's. Lookups read the same sectors
  // before and after.
  static constexpr int64_t kFinishHeaders = 512;
  void FinishWalks();

  // Moves `run` to the next piece of a run under the sector window, as
  // ReadSectors steps.
  void StepRun(SectorRun& run) const { run.Step(first_sector_, last_sector_); }

  // Whether `track` of the selected disk can be walked: kNone, or why not
  // (no image, out of range, absent, beyond the disk, before the file).
  ReadFault CheckTrack(int32_t track) const {
    int64_t start = 0;
    return LocateTrack(track, &start);
  }

  // How many sector headers the walks of one disk read one by one before a
  // lookup sweeps every track at once. Results never depend on it, only
  // the time they take; tests lower it to reach the sweep.
  static constexpr int64_t kDefaultWalkBudget = 1 << 15;
  void SetWalkBudget(int64_t headers) { walk_budget_ = headers; }

  // Lists the C/H/R/N of the sectors of `track` in stored order, 4 bytes a
  // sector, as many as `length` holds. Returns the bytes placed in `buffer`.
  int32_t ListSectorIds(int32_t track, uint8_t* buffer, int32_t length);

 private:
  // The file offset of the first sector header of `track`, with kNone; or
  // why there is none: no file is open, the track is out of range, absent
  // or beyond the disk, or would start before the file.
  ReadFault LocateTrack(int32_t track, int64_t* start) const;

  // Finds the sector ReadSector reads: its data offset and stored length,
  // with kNone; or why it cannot be found.
  ReadFault LookUp(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                   int64_t* offset, int32_t* length);

  // Finds sector R = r of size code n on the walk of `track`: its data
  // offset and stored length. False when the walk ends without it; the
  // walk's end then says why.
  bool FindSector(int32_t track, TrackWalk& walk, int32_t r, int32_t n,
                  int64_t* offset, int32_t* length);

  // Walks `walk` on, header by header, until it passes sector r of size
  // code n, noting every sector of its C/H that it passes. False when the
  // walk ends first or the disk's count of headers walked reaches `limit`.
  bool WalkOn(TrackWalk& walk, int32_t r, int32_t n, int64_t limit);

  // Takes the walk of every present track, for its own cylinder and head
  // and answering for size code n, to its end.
  void SweepTracks(int32_t n);

  void ClearSelection();
  void ForgetWalks();

  ImageFile file_;
  int32_t disk_count_ = 0;
  int32_t first_sector_ = 1;
  int32_t last_sector_ = 16;
  int32_t disk_offsets_[kMaxDisks] = {};
  int32_t disk_size_ = 0;
  int32_t disk_base_ = -1;
  int32_t track_table_[kTrackCount] = {};
  int32_t media_type_ = -1;
  char disk_name_[kDiskNameLength + 1] = {};
  TrackWalk walks_[kTrackCount];  // what each track's walk has found
  int64_t walked_ = 0;  // headers read one by one since the disk's selection
  int64_t walk_budget_ = kDefaultWalkBudget;
  TrackSweep sweep_;
  static_assert(TrackSweep::kMaxWalks == kTrackCount, "a walk a track");
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_DISK_IMAGE_H_
