#include "tool/probe_missing.h"

#include <cstring>

#include "image/read_fault.h"
#include "image/sector_marks.h"

namespace dorvex {

namespace {

// The page's words (web/explain.js), character for character: the
// salvaged files of both must come with the same MISSING.txt.

std::string Number(int32_t value) { return std::to_string(value); }

// The bytes a size code stands for, where it stands for a sector size.
int32_t SizeOf(int32_t n) { return n >= 0 && n <= 8 ? 128 << n : -1; }

std::string TrackWords(const PieceReport& p, bool ja) {
  const std::string track = Number(p.at.track);
  const std::string ch = "C" + Number(p.at.c) + " H" + Number(p.at.h);
  return ja ? "トラック " + track + "（" + ch + "）"
            : "track " + track + " (" + ch + ")";
}

std::string SectorWords(const PieceReport& p, bool ja) {
  const int32_t size = SizeOf(p.size_code);
  const std::string r = Number(p.at.r);
  const std::string n = Number(p.size_code);
  if (ja) {
    return size < 0 ? "セクター " + r + "（N" + n + "）"
                    : "セクター " + r + "（" + Number(size) + " バイト）";
  }
  return size < 0 ? "sector " + r + " (N" + n + ")"
                  : "sector " + r + " of " + Number(size) + " bytes";
}

// Why piece `p` was not read, as the page says it.
std::string Reason(const PieceReport& p, bool ja) {
  const std::string track = TrackWords(p, ja);
  const std::string sector = SectorWords(p, ja);
  const std::string r = Number(p.at.r);
  const std::string held = Number(p.held);
  const std::string length = Number(p.length);
  const std::string chrn = "C" + Number(p.at.c) + " H" + Number(p.at.h) + " R" +
                           r + " N" + Number(p.size_code);
  switch (p.state) {
    case ReadFault::kNoImage:
      return ja ? "イメージファイルが開いていません" : "no image file is open";
    case ReadFault::kTrackOutOfRange:
      return ja ? "トラック " + Number(p.at.track) + " は 0〜163 の外です"
                : "track " + Number(p.at.track) + " is outside 0 to 163";
    case ReadFault::kTrackAbsent:
      return ja ? track + "がありません（トラック表の値が 0）"
                : track + " is absent (its track-table entry is 0)";
    case ReadFault::kTrackBeyondDisk:
      return ja ? track + "のトラック表の値がディスクの大きさを超えています"
                : track + " has a track-table entry beyond the disk's size";
    case ReadFault::kTrackBeforeFile:
      return ja ? track + "のトラック表の値がファイルの先頭より前を指しています"
                : track +
                      " has a track-table entry before the start of the file";
    case ReadFault::kRecordOutOfRange:
      return ja ? chrn + " はセクターの見出しに書けない値です（0〜255 の外）"
                : "no sector header can hold " + chrn +
                      " (a value outside 0 to 255)";
    case ReadFault::kEndedAtCount:
      return ja ? track + "に" + sector +
                      "がありません（見出しのセクター数まで探しました）"
                : track + " holds no " + sector +
                      " (sought up to the header's sector count)";
    case ReadFault::kEndedAtZeroCount:
      return ja ? track + "に" + sector +
                      "がありません（セクター数が 0 の見出しで探し終えました）"
                : track + " holds no " + sector +
                      " (the search ended at a header whose sector count is "
                      "0)";
    case ReadFault::kEndedAtFileEnd:
      return ja ? track + "に" + sector +
                      "がありません（イメージファイルの終わりまで探しました）"
                : track + " holds no " + sector +
                      " (sought up to the end of the image file)";
    case ReadFault::kSectorShort:
      return ja ? track + "のセクター " + r + " には " + held +
                      " バイトしかありません（" + length + " バイト必要）"
                : "sector " + r + " of " + track + " holds " + held +
                      " bytes where " + length + " are needed";
    case ReadFault::kFileEndsInData:
      return ja ? "イメージファイルが" + track + "のセクター " + r +
                      " のデータの途中で終わっています（" + length +
                      " バイトのうち " + held + " バイト）"
                : "the image file ends inside the data of sector " + r +
                      " of " + track + ", after " + held + " of " + length +
                      " bytes";
    case ReadFault::kNone:
      break;
  }
  return ReadFaultName(p.state);
}

// The page's words for how a sector was dumped.
std::string DoubtKind(const PieceReport& p, bool ja) {
  switch (p.doubt) {
    case SectorDoubt::kDataCrcError:
      return ja ? "データ部の CRC エラー" : "a CRC error in its data";
    case SectorDoubt::kAddressCrcError:
      return ja ? "ID 部の CRC エラー" : "a CRC error in its address";
    case SectorDoubt::kNoAddressMark:
      return ja ? "アドレスマークなし" : "no address mark";
    case SectorDoubt::kNoDataMark:
      return ja ? "データマークなし" : "no data mark";
    case SectorDoubt::kDeletedData:
      return ja ? "削除データ（デリーテッドデータ）"
                : "its data marked deleted";
    case SectorDoubt::kOtherStatus: {
      static const char kHex[] = "0123456789ABCDEF";
      const std::string hex = {kHex[p.marks.status >> 4],
                               kHex[p.marks.status & 0xF]};
      return (ja ? "ステータス 0x" : "status 0x") + hex;
    }
    case SectorDoubt::kNone:
    case SectorDoubt::kTwin:
      break;
  }
  return SectorDoubtName(p.doubt);
}

// Why piece `p`, read whole, may hold the wrong bytes, as the page says it.
std::string DoubtReason(const PieceReport& p, bool ja) {
  if (p.doubt == SectorDoubt::kNone) return std::string();
  const std::string track = TrackWords(p, ja);
  const std::string r = Number(p.at.r);
  const std::string length = Number(p.length);
  if (p.doubt == SectorDoubt::kTwin) {
    return ja ? track + "には、セクター " + r +
                    " と同じアドレスのセクターがもう一つあります"
                    "（読んだのは最初のもの）。この " +
                    length + " バイトは正しくないかもしれません"
              : track + " holds a second sector with the address of sector " +
                    r + ", and the first was read: these " + length +
                    " bytes may be wrong";
  }
  const std::string kind = DoubtKind(p, ja);
  return ja ? track + "のセクター " + r + " は「" + kind +
                  "」としてダンプされています。この " + length +
                  " バイトは正しくないかもしれません"
            : "sector " + r + " of " + track + " was dumped with " + kind +
                  ": these " + length + " bytes may be wrong";
}

std::string RangeWords(int32_t from, int32_t to, bool ja) {
  const std::string first = Number(from);
  const std::string last = Number(to - 1);
  const std::string count = Number(to - from);
  return ja ? first + "〜" + last + " バイト目（" + count + " バイト）"
            : "bytes " + first + "–" + last + " (" + count + " bytes)";
}

}  // namespace

Language LanguageOf(const char* lc_all, const char* lc_messages,
                    const char* lang) {
  for (const char* value : {lc_all, lc_messages, lang}) {
    if (value != nullptr && value[0] != 0) {
      return std::strncmp(value, "ja", 2) == 0 ? Language::kJapanese
                                               : Language::kEnglish;
    }
  }
  return Language::kEnglish;
}

SalvagedFile SalvageOf(const DiskReport& report, int32_t file,
                       const uint8_t* bytes, int32_t length) {
  const FileReport& f = report.files[file];
  SalvagedFile salvaged;
  salvaged.salvage_name = f.salvage_name;
  salvaged.name = f.name;
  salvaged.position = report.position;
  salvaged.disk_number = report.disk_number;
  salvaged.length = length;
  salvaged.bytes.assign(bytes, bytes + length);
  for (int32_t k = f.first_piece; k < f.first_piece + f.piece_count; ++k) {
    PieceReport p = report.pieces[k];
    if (p.state == ReadFault::kNone) continue;
    // The page is given a held count only where it says one.
    if (p.state != ReadFault::kSectorShort &&
        p.state != ReadFault::kFileEndsInData) {
      p.held = 0;
    }
    std::vector<MissingRange>& ranges = salvaged.missing;
    if (!ranges.empty() && ranges.back().to == p.from &&
        ranges.back().piece.state == p.state) {
      ranges.back().to = p.from + p.length;
    } else {
      ranges.push_back(MissingRange{p.from, p.from + p.length, p});
    }
  }
  return salvaged;
}

bool DoubtsOf(const DiskReport& report, DoubtfulDisk* disk) {
  *disk = DoubtfulDisk();
  disk->position = report.position;
  disk->disk_number = report.disk_number;
  const int32_t identification =
      report.DoubtfulPiece(PieceRole::kIdentification);
  const int32_t directory = report.DoubtfulPiece(PieceRole::kDirectory);
  disk->identification_doubtful = identification >= 0;
  if (identification >= 0) disk->identification = report.pieces[identification];
  disk->directory_doubtful = directory >= 0;
  if (directory >= 0) disk->directory = report.pieces[directory];
  for (int32_t i = 0; i < report.file_count; ++i) {
    const FileReport& f = report.files[i];
    if (f.doubtful_piece < 0) continue;
    DoubtfulFile file;
    file.name = f.name;
    file.length = f.length;
    for (int32_t k = f.first_piece; k < f.first_piece + f.piece_count; ++k) {
      if (report.pieces[k].doubt != SectorDoubt::kNone) {
        file.pieces.push_back(report.pieces[k]);
      }
    }
    disk->files.push_back(std::move(file));
  }
  return disk->identification_doubtful || disk->directory_doubtful ||
         !disk->files.empty();
}

std::string MissingText(const std::vector<SalvagedFile>& salvaged,
                        const std::vector<DoubtfulDisk>& doubtful,
                        Language language) {
  const bool ja = language == Language::kJapanese;
  std::string text;
  if (!salvaged.empty()) {
    text += ja ? "ここにあるのは、dorvex "
                 "が読み切れなかったファイルの読めた部分です。"
                 "読めなかったバイトは 0 で埋めてあります。\n\n"
               : "Each file here is the readable part of a file that dorvex "
                 "could not read whole; the bytes it could not read are "
                 "zeros.\n\n";
  }
  for (const SalvagedFile& f : salvaged) {
    const std::string position = Number(f.position);
    const std::string number = Number(f.disk_number);
    const std::string length = Number(f.length);
    text += ja ? f.salvage_name + ": ディスク " + position + " 枚目（番号 " +
                     number + "）の " + f.name + "、" + length + " バイト\n"
               : f.salvage_name + ": " + f.name + " of disk " + position +
                     " (number " + number + "), " + length + " bytes\n";
    for (const MissingRange& range : f.missing) {
      const std::string words = RangeWords(range.from, range.to, ja);
      const std::string why = Reason(range.piece, ja);
      text += ja ? "  " + words + " がありません: " + why + "\n"
                 : "  " + words + " missing: " + why + "\n";
    }
  }
  if (!doubtful.empty()) {
    if (!text.empty()) text += "\n";
    text += ja ? "dorvex "
                 "は次のファイルを読み切りましたが、ダンプが不良と記録したセ"
                 "クターから読んだ部分があります。"
                 "その部分のバイトは正しくないかもしれません。\n\n"
               : "dorvex read each of these files whole, but some of its bytes "
                 "come from sectors that the dump records as bad; those bytes "
                 "may be wrong.\n\n";
  }
  for (const DoubtfulDisk& d : doubtful) {
    const std::string position = Number(d.position);
    const std::string number = Number(d.disk_number);
    if (d.identification_doubtful) {
      const std::string why = DoubtReason(d.identification, ja);
      text += ja ? "ディスク " + position +
                       " 枚目: 識別ブロック（トラック 0 のセクター 15、16）は"
                       "読めましたが、" +
                       why + "。\n"
                 : "disk " + position +
                       ": its identification block (sectors 15 and 16 of "
                       "track 0) was read, but " +
                       why + ".\n";
    }
    if (d.directory_doubtful) {
      const std::string why = DoubtReason(d.directory, ja);
      text += ja ? "ディスク " + position +
                       " 枚目: ディレクトリ（トラック 0 のセクター 13、14）は"
                       "読めましたが、" +
                       why + "。\n"
                 : "disk " + position +
                       ": its directory (sectors 13 and 14 of track 0) was "
                       "read, but " +
                       why + ".\n";
    }
    for (const DoubtfulFile& f : d.files) {
      const std::string length = Number(f.length);
      text += ja ? f.name + ": ディスク " + position + " 枚目（番号 " + number +
                       "）の " + f.name + "、" + length + " バイト、疑わしい\n"
                 : f.name + ": " + f.name + " of disk " + position +
                       " (number " + number + "), " + length +
                       " bytes, doubtful\n";
      for (const PieceReport& p : f.pieces) {
        text += "  " + RangeWords(p.from, p.from + p.length, ja) + ": " +
                DoubtReason(p, ja) + "\n";
      }
    }
  }
  return text;
}

}  // namespace dorvex
