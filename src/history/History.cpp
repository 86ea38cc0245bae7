#include "history/History.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "mul/Error.h"
#include "mul/mTypes.h"

namespace vorlak::history {
namespace fsys = std::filesystem;
namespace {

constexpr int32_t kFormatVersion = 1;
constexpr char kStepMagic[] = "vorlak-history-step";
constexpr char kSealMagic[] = "vorlak-history-seal";
constexpr char kRedoMagic[] = "vorlak-history-redo";
constexpr size_t kCopyChunk = size_t{1} << 20;
constexpr int kLockTries = 100;  // 10 ms apart

struct Region {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// What a step knows of one file. "Before" is the file as the job found it, "after" as the job
// (or, for a step undone, the moment before the undo) left it.
struct FileStep {
    std::string path;
    bool whole = false;  // replaced by a rename: kept as a link
    bool existed = true;
    uint64_t length = 0;
    uint64_t hash = 0;  // of the watched bytes (see Watch) before the job
    std::vector<Region> regions;
    uint64_t oldAt = 0;  // the file's bytes in N.old start here
    bool afterExists = false;
    uint64_t afterLength = 0;
    uint64_t afterHash = 0;
    uint64_t newAt = 0;  // the file's bytes in N.new start here
};

struct Step {
    int32_t number = 0;
    std::string time;
    std::string job;
    std::string summary;
    std::vector<FileStep> files;
    bool sealed = false;
};

std::string Hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

std::string Name(int32_t number, const std::string& suffix) {
    char text[16];
    std::snprintf(text, sizeof text, "%06d", number);
    return text + suffix;
}

uint64_t TextChecksum(const std::string& text) {
    Checksum sum;
    sum.Update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return sum.Value();
}

// Splits "key rest" lines; the last line must be "checksum HEX" over everything before it.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseChecked(
    const std::string& text, const char* magic) {
    size_t last = text.rfind("checksum ");
    if (last == std::string::npos || (last > 0 && text[last - 1] != '\n')) return std::nullopt;
    std::string body = text.substr(0, last);
    std::string tail = text.substr(last + 9);
    while (!tail.empty() && tail.back() == '\n') tail.pop_back();
    if (tail != Hex(TextChecksum(body))) return std::nullopt;
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream in(body);
    std::string line;
    while (std::getline(in, line)) {
        size_t space = line.find(' ');
        lines.emplace_back(line.substr(0, space),
                           space == std::string::npos ? std::string() : line.substr(space + 1));
    }
    if (lines.empty() || lines[0].first != magic ||
        lines[0].second != std::to_string(kFormatVersion)) {
        return std::nullopt;
    }
    return lines;
}

std::string Sealed(const std::string& body) {
    return body + "checksum " + Hex(TextChecksum(body)) + "\n";
}

uint64_t ToNumber(const std::string& text) {
    size_t used = 0;
    uint64_t v = std::stoull(text, &used, 16);
    if (used != text.size()) throw std::invalid_argument("bad number");
    return v;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string NowText() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

// A second checksum fed with the bytes of a pass that lie before `end` in the file.
struct Prefix {
    Checksum* sum = nullptr;
    uint64_t end = 0;
};

// Reads [offset, offset + length) of `file` into the checksum (and the prefix's) and, when given,
// to `out` at `outAt`. Throws when the file holds fewer bytes.
void Pass(RandomAccessFile& file, uint64_t offset, uint64_t length, Checksum& sum,
          RandomAccessFile* out = nullptr, uint64_t outAt = 0, Prefix prefix = {}) {
    ByteBuffer buffer;
    for (uint64_t done = 0; done < length;) {
        buffer.resize(static_cast<size_t>(std::min<uint64_t>(kCopyChunk, length - done)));
        if (file.ReadAt(offset + done, buffer) != buffer.size()) {
            throw Error::Io(file.path() + " is shorter than expected");
        }
        sum.Update(buffer.data(), buffer.size());
        if (prefix.sum) {
            // The part of the buffer before the prefix's end; none past it.
            const uint64_t at = offset + done;
            prefix.sum->Update(buffer.data(), static_cast<size_t>(std::min<uint64_t>(
                                                  buffer.size(), std::max(prefix.end, at) - at)));
        }
        if (out) out->WriteAt(outAt + done, buffer);
        done += buffer.size();
    }
}

// Copies `length` bytes of `from` at `fromAt` to `to` at `toAt`.
void Copy(RandomAccessFile& from, uint64_t fromAt, uint64_t length, RandomAccessFile& to,
          uint64_t toAt) {
    Checksum unused;
    Pass(from, fromAt, length, unused, &to, toAt);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fsys::exists(fsys::symlink_status(path, ec));
}

// Bytes of a file that the job read before its step, at `offset`.
struct Held {
    std::string path;
    uint64_t offset = 0;
    std::span<const uint8_t> bytes;

    bool operator<(const Held& other) const {
        return std::tie(path, offset) < std::tie(other.path, other.offset);
    }
};

// As Pass to `out`, but what `held` (sorted, not overlapping) gives of `path` is taken from there;
// only the rest is read.
void Keep(const std::vector<Held>& held, const std::string& path, RandomAccessFile& file,
          uint64_t offset, uint64_t length, Checksum& sum, RandomAccessFile& out, uint64_t outAt) {
    const uint64_t end = offset + length;
    while (offset < end) {
        // The first held bytes of the file that begin past `offset`, and those before them.
        const auto after = std::upper_bound(held.begin(), held.end(), Held{path, offset, {}});
        const Held* in = nullptr;
        if (after != held.begin()) {
            const Held& h = *std::prev(after);
            if (h.path == path && offset - h.offset < h.bytes.size()) in = &h;
        }
        const uint64_t next =
            after != held.end() && after->path == path ? std::min(end, after->offset) : end;
        uint64_t n = next - offset;
        if (in) {
            n = std::min<uint64_t>(end - offset, in->bytes.size() - (offset - in->offset));
            auto bytes =
                in->bytes.subspan(static_cast<size_t>(offset - in->offset), static_cast<size_t>(n));
            sum.Update(bytes.data(), bytes.size());
            out.WriteAt(outAt, bytes);
        } else {
            Pass(file, offset, n, sum, &out, outAt);
        }
        offset += n;
        outAt += n;
    }
}

// The fingerprint of a file as it stands: whether it exists, its length, and the checksum of its
// watched bytes: the whole file for one replaced whole; otherwise the step's regions as far as
// the file reaches, then whatever lies past the length it had before the job. With `out`, the
// watched bytes are copied there.
struct Print {
    bool exists = false;
    uint64_t length = 0;
    uint64_t hash = 0;
    bool operator==(const Print&) const = default;
};

// What a job said a file holds once it has committed, the whole file (Leaves) or what follows
// its old length (Appends), and the checksum of those bytes.
struct Left {
    std::string path;
    std::span<const uint8_t> bytes;
    std::optional<std::pair<dev_t, ino_t>> file;  // the file at `path` before the commit
    uint64_t hash = 0;
    bool summed = false;
};

std::optional<std::pair<dev_t, ino_t>> FileAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return std::make_pair(st.st_dev, st.st_ino);
}

// With `before`, the same pass also sums the regions within the old length, as Watch with
// `beforePart` would.
Print Watch(FileSystem& fs, const FileStep& f, RandomAccessFile* out = nullptr, uint64_t outAt = 0,
            bool beforePart = false, uint64_t* before = nullptr) {
    Print p;
    if (!Exists(f.path)) return p;
    auto file = fs.Open(f.path, OpenMode::kReadOnly);
    p.exists = true;
    p.length = file->Size();
    Checksum sum, old;
    uint64_t written = 0;
    auto pass = [&](uint64_t offset, uint64_t end, Prefix prefix) {
        const uint64_t n = std::max(end, offset) - offset;  // none where the file ends before
        Pass(*file, offset, n, sum, out, outAt + written, prefix);
        written += n;
    };
    if (f.whole) {
        pass(0, p.length, {});
    } else {
        uint64_t limit = beforePart ? std::min(p.length, f.length) : p.length;
        Prefix prefix = before ? Prefix{&old, std::min(p.length, f.length)} : Prefix{};
        for (const Region& r : f.regions)
            pass(r.offset, std::min(r.offset + r.length, limit), prefix);
        if (!beforePart) pass(f.length, p.length, {});
    }
    p.hash = sum.Value();
    if (before) *before = old.Value();
    return p;
}

// What a job said a file replaced whole holds, once the commit put a new file in its place.
std::optional<Print> LeftPrint(const FileStep& f, const Left& left) {
    if (!f.whole || !left.summed || left.path != f.path) return std::nullopt;
    auto now = FileAt(f.path);
    std::error_code ec;
    uint64_t length = fsys::file_size(f.path, ec);
    if (!now || now == left.file || ec || length != left.bytes.size()) return std::nullopt;
    return Print{true, length, left.hash};
}

// What a job said a file it created or only grows holds past its old length: the file is still
// the one it grew, by exactly those bytes, and the step keeps no bytes of it.
std::optional<Print> AppendedPrint(const FileStep& f, const Left& appended) {
    if (!appended.summed || appended.path != f.path || !f.regions.empty()) return std::nullopt;
    auto now = FileAt(f.path);
    std::error_code ec;
    uint64_t length = fsys::file_size(f.path, ec);
    if (!now || now != appended.file || ec || length != f.length + appended.bytes.size()) {
        return std::nullopt;
    }
    return Print{true, length, appended.hash};
}

// The bytes that a bytes-kind file keeps in N.old: its regions within its old length.
uint64_t OldBytes(const FileStep& f) {
    uint64_t n = 0;
    for (const Region& r : f.regions) {
        if (r.offset < f.length) n += std::min(r.offset + r.length, f.length) - r.offset;
    }
    return n;
}

void Link(const std::string& from, const std::string& to, FileSystem& fs) {
    std::error_code ec;
    fsys::remove(to, ec);
    fsys::create_hard_link(from, to, ec);
    if (!ec) return;
    // A file system without hard links: a copy does the same, at a price.
    auto in = fs.Open(from, OpenMode::kReadOnly);
    auto out = fs.Open(to, OpenMode::kCreateExclusive);
    Copy(*in, 0, in->Size(), *out, 0);
    out->Sync();
}

uint64_t HashOfFile(FileSystem& fs, const std::string& path) {
    auto file = fs.Open(path, OpenMode::kReadOnly);
    Checksum sum;
    Pass(*file, 0, file->Size(), sum);
    return sum.Value();
}

void WriteText(FileSystem& fs, const std::string& path, const std::string& text, bool sync) {
    std::string temp = path + ".new-text";
    fs.Remove(temp);
    {
        auto file = fs.Open(temp, OpenMode::kCreateExclusive);
        file->WriteAt(0, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
        if (sync) file->Sync();
    }
    fs.Rename(temp, path);
    if (sync) fs.SyncFolderOf(path);
}

std::optional<std::string> ReadText(FileSystem& fs, const std::string& path) {
    if (!Exists(path)) return std::nullopt;
    auto file = fs.Open(path, OpenMode::kReadOnly);
    uint64_t size = file->Size();
    if (size > (uint64_t{64} << 20)) return std::nullopt;
    std::string text(static_cast<size_t>(size), '\0');
    if (file->ReadAt(0, std::span(reinterpret_cast<uint8_t*>(text.data()), text.size())) !=
        text.size()) {
        return std::nullopt;
    }
    return text;
}

void Touch(FileSystem& fs, const std::string& path) {
    fs.Open(path, OpenMode::kReadWrite)->Sync();
    fs.SyncFolderOf(path);
}

std::string Shown(const std::string& path, const std::string& folder) {
    std::error_code ec;
    fsys::path rel = fsys::path(path).lexically_relative(fsys::absolute(folder, ec));
    if (!rel.empty() && rel.begin()->string() != "..") return rel.string();
    return path;
}

// The step a file of the history belongs to, by its name ("000012.step", "000012.0.old"); none
// for the folder's other files.
std::optional<int32_t> StepOfFile(const std::string& name) {
    if (name.find('.') != 6) return std::nullopt;
    int32_t n = 0;
    for (char c : name.substr(0, 6)) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The folder's history on disk: its lock, its steps and their files.
class Store {
  public:
    Store(std::string folder, FileSystem& fs)
        : root_(HistoryFolder(folder)), folder_(std::move(folder)), fs_(fs) {}

    const std::string& root() const { return root_; }
    std::string At(int32_t n, const std::string& suffix) const {
        return (fsys::path(root_) / Name(n, suffix)).string();
    }
    bool Has(int32_t n, const std::string& suffix) const { return Exists(At(n, suffix)); }

    // Waits a little for another job recording in the same folder. Throws when the history
    // cannot be locked.
    std::unique_ptr<FileLock> Lock() {
        std::string path = (fsys::path(root_) / "lock").string();
        if (!Exists(path)) fs_.Open(path, OpenMode::kReadWrite);
        for (int i = 0; i < kLockTries; ++i) {
            if (auto lock = FileLock::Try(path, FileLock::Mode::kExclusive)) return lock;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        throw Error::Io("The history " + root_ + " is in use by another job");
    }

    // Every step number with a manifest, oldest first.
    std::vector<int32_t> Numbers() const {
        std::vector<int32_t> numbers;
        std::error_code ec;
        for (const auto& entry : fsys::directory_iterator(root_, ec)) {
            const std::string name = entry.path().filename().string();
            const std::optional<int32_t> n = StepOfFile(name);
            if (n && name.substr(6) == ".step") numbers.push_back(*n);
        }
        std::sort(numbers.begin(), numbers.end());
        return numbers;
    }

    // Every file of the folder that belongs to step n (n = -1: that belongs to no step with a
    // manifest), with their sizes.
    uint64_t Remove(int32_t n) {
        uint64_t bytes = 0;
        std::error_code ec;
        std::string prefix = Name(n, ".");
        std::vector<fsys::path> doomed;
        for (const auto& entry : fsys::directory_iterator(root_, ec)) {
            if (entry.path().filename().string().starts_with(prefix))
                doomed.push_back(entry.path());
        }
        // The manifest goes first, so that a step cut short by a kill is never half there.
        std::partition(doomed.begin(), doomed.end(),
                       [](const fsys::path& a) { return a.extension() == ".step"; });
        for (const auto& path : doomed) {
            bytes += fsys::file_size(path, ec);
            fsys::remove(path, ec);
        }
        return bytes;
    }

    // The bytes of every step's files, by step number, in one pass over the folder.
    std::map<int32_t, uint64_t> Sizes() const {
        std::map<int32_t, uint64_t> sizes;
        std::error_code ec;
        for (const auto& entry : fsys::directory_iterator(root_, ec)) {
            const std::optional<int32_t> n = StepOfFile(entry.path().filename().string());
            if (!n) continue;
            uint64_t size = fsys::file_size(entry.path(), ec);
            if (!ec) sizes[*n] += size;
        }
        return sizes;
    }

    // Files of steps whose manifest never reached the folder.
    void RemoveLeftovers() {
        std::vector<int32_t> numbers = Numbers();
        std::set<int32_t> known(numbers.begin(), numbers.end());
        std::error_code ec;
        std::vector<fsys::path> doomed;
        for (const auto& entry : fsys::directory_iterator(root_, ec)) {
            const std::optional<int32_t> n = StepOfFile(entry.path().filename().string());
            if (n && !known.count(*n)) doomed.push_back(entry.path());
        }
        for (const auto& path : doomed) fsys::remove(path, ec);
    }

    Limits ReadLimits() {
        Limits limits;
        std::optional<std::string> text;
        try {
            text = ReadText(fs_, (fsys::path(root_) / "limits").string());
        } catch (const Error&) {
        }
        if (!text) return limits;
        auto lines = ParseChecked(*text, "vorlak-history-limits");
        if (!lines) return limits;
        for (const auto& [key, value] : *lines) {
            try {
                if (key == "keep-jobs") limits.jobs = static_cast<int32_t>(std::stoi(value));
                if (key == "keep-bytes") limits.bytes = std::stoull(value);
            } catch (const std::exception&) {
            }
        }
        return limits;
    }

    void WriteLimits(const Limits& limits) {
        WriteText(fs_, (fsys::path(root_) / "limits").string(),
                  Sealed("vorlak-history-limits " + std::to_string(kFormatVersion) +
                         "\nkeep-jobs " + std::to_string(limits.jobs) + "\nkeep-bytes " +
                         std::to_string(limits.bytes) + "\n"),
                  true);
    }

    // True when the steps are more, or take more room, than the limits allow.
    bool Crowded() {
        const Usage use = Used();
        return !use.Within(static_cast<int64_t>(use.numbers.size()), use.total);
    }

    // Drops the oldest steps beyond the limits, never `keep`. Returns how many it dropped.
    int32_t Prune(int32_t keep) {
        const Usage use = Used();
        uint64_t total = use.total;
        int32_t dropped = 0;
        for (int32_t n : use.numbers) {
            auto count = static_cast<int64_t>(use.numbers.size()) - dropped;
            if (n == keep || use.Within(count, total)) break;
            total -= std::min(total, Remove(n));
            ++dropped;
        }
        return dropped;
    }

    // The steps, their bytes in all, and the limits they are held to.
    struct Usage {
        Limits limits;
        std::vector<int32_t> numbers;
        uint64_t total = 0;
        bool Within(int64_t count, uint64_t bytes) const {
            return count <= limits.jobs && bytes <= limits.bytes;
        }
    };
    Usage Used() {
        Usage use{ReadLimits(), Numbers(), 0};
        std::map<int32_t, uint64_t> sizes = Sizes();
        for (int32_t n : use.numbers) use.total += sizes[n];
        return use;
    }

    std::string ManifestText(const Step& step) const {
        std::string body = std::string(kStepMagic) + " " + std::to_string(kFormatVersion) +
                           "\ntime " + step.time + "\njob " + step.job + "\n";
        for (const FileStep& f : step.files) {
            body += std::string("file ") + (f.whole ? "whole " : "bytes ") +
                    (f.existed ? "1 " : "0 ") + Hex(f.length) + " " + Hex(f.hash) + " " +
                    Hex(f.oldAt) + "\npath " + f.path + "\n";
            for (const Region& r : f.regions) {
                body += "region " + Hex(r.offset) + " " + Hex(r.length) + "\n";
            }
        }
        return Sealed(body);
    }

    std::string AfterText(const Step& step, const char* magic, const std::string& summary) const {
        std::string body = std::string(magic) + " " + std::to_string(kFormatVersion) + "\n";
        if (!summary.empty()) body += "summary " + summary + "\n";
        for (const FileStep& f : step.files) {
            body += std::string("after ") + (f.afterExists ? "1 " : "0 ") + Hex(f.afterLength) +
                    " " + Hex(f.afterHash) + " " + Hex(f.newAt) + "\n";
        }
        return Sealed(body);
    }

    // Reads step n's manifest and, when there, its seal. Throws Error (kCorrupt) naming the file
    // when one is damaged.
    Step Load(int32_t n) {
        Step step;
        step.number = n;
        std::string manifest = At(n, ".step");
        std::optional<std::string> text = ReadText(fs_, manifest);
        auto damaged = [&](const std::string& file) {
            return Error::Corrupt("The history step " + std::to_string(n) + " is damaged: " + file +
                                  " does not match its checksum");
        };
        auto lines = text ? ParseChecked(*text, kStepMagic) : std::nullopt;
        if (!lines) throw damaged(manifest);
        try {
            for (size_t i = 1; i < lines->size(); ++i) {
                const auto& [key, value] = (*lines)[i];
                if (key == "time")
                    step.time = value;
                else if (key == "job")
                    step.job = value;
                else if (key == "file") {
                    auto w = Words(value);
                    if (w.size() != 5) throw std::invalid_argument("file");
                    FileStep f;
                    f.whole = w[0] == "whole";
                    f.existed = w[1] == "1";
                    f.length = ToNumber(w[2]);
                    f.hash = ToNumber(w[3]);
                    f.oldAt = ToNumber(w[4]);
                    step.files.push_back(f);
                } else if (key == "path" && !step.files.empty()) {
                    step.files.back().path = value;
                } else if (key == "region" && !step.files.empty()) {
                    auto w = Words(value);
                    if (w.size() != 2) throw std::invalid_argument("region");
                    step.files.back().regions.push_back({ToNumber(w[0]), ToNumber(w[1])});
                }
            }
        } catch (const std::exception&) {
            throw damaged(manifest);
        }
        if (step.files.empty()) throw damaged(manifest);
        if (Has(n, ".seal")) {
            ReadAfter(step, At(n, ".seal"), kSealMagic, &step.summary);
            step.sealed = true;
        }
        return step;
    }

    void ReadAfter(Step& step, const std::string& path, const char* magic, std::string* summary) {
        std::optional<std::string> text = ReadText(fs_, path);
        auto lines = text ? ParseChecked(*text, magic) : std::nullopt;
        auto damaged = Error::Corrupt("The history step " + std::to_string(step.number) +
                                      " is damaged: " + path + " does not match its checksum");
        if (!lines) throw damaged;
        size_t k = 0;
        try {
            for (size_t i = 1; i < lines->size(); ++i) {
                const auto& [key, value] = (*lines)[i];
                if (key == "summary" && summary) *summary = value;
                if (key != "after") continue;
                auto w = Words(value);
                if (w.size() != 4) throw std::invalid_argument("after");
                FileStep& f = step.files.at(k++);  // more of them than files: damaged
                f.afterExists = w[0] == "1";
                f.afterLength = ToNumber(w[1]);
                f.afterHash = ToNumber(w[2]);
                f.newAt = ToNumber(w[3]);
            }
        } catch (const std::exception&) {
            throw damaged;
        }
        if (k != step.files.size()) throw damaged;
    }

    // Checks every copy the step keeps of the files as they were before the job (`before`) or
    // as the undo found them (`!before`) against the checksums noted. Throws Error (kCorrupt)
    // naming the step and the copy.
    void Verify(const Step& step, bool before) {
        for (size_t k = 0; k < step.files.size(); ++k) {
            const FileStep& f = step.files[k];
            bool exists = before ? f.existed : f.afterExists;
            if (!exists) continue;
            uint64_t want = before ? f.hash : f.afterHash;
            std::string copy;
            uint64_t got = 0;
            try {
                if (f.whole) {
                    copy = At(step.number, "." + std::to_string(k) + (before ? ".link" : ".after"));
                    if (!Exists(copy)) throw Error::NotFound("missing");
                    got = HashOfFile(fs_, copy);
                } else {
                    copy = At(step.number, before ? ".old" : ".new");
                    uint64_t size = before ? OldBytes(f) : AfterBytes(f);
                    if (size == 0) {
                        got = Checksum().Value();
                    } else {
                        if (!Exists(copy)) throw Error::NotFound("missing");
                        auto file = fs_.Open(copy, OpenMode::kReadOnly);
                        Checksum sum;
                        Pass(*file, before ? f.oldAt : f.newAt, size, sum);
                        got = sum.Value();
                    }
                }
            } catch (const Error&) {
                throw Error::Corrupt("The history step " + std::to_string(step.number) +
                                     " is damaged: its copy of " + Shown(f.path, folder_) + " (" +
                                     copy + ") is missing or cut short");
            }
            if (got != want) {
                throw Error::Corrupt("The history step " + std::to_string(step.number) +
                                     " is damaged: its copy of " + Shown(f.path, folder_) + " (" +
                                     copy + ") does not match its checksum");
            }
        }
    }

    static uint64_t AfterBytes(const FileStep& f) {
        uint64_t n = 0;
        for (const Region& r : f.regions) {
            if (r.offset < f.afterLength)
                n += std::min(r.offset + r.length, f.afterLength) - r.offset;
        }
        n += std::max(f.afterLength, f.length) - f.length;  // what the job grew it by
        return n;
    }

    FileSystem& fs() { return fs_; }
    const std::string& folder() const { return folder_; }

  private:
    std::string root_;
    std::string folder_;
    FileSystem& fs_;
};

}  // namespace

// --- Checksum -------------------------------------------------------------------------------

namespace {
constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87u;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Fu;
uint64_t Load64(const uint8_t* p) {
    uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
}  // namespace

void Checksum::Round(const uint8_t* block) {
    for (int i = 0; i < 4; ++i) {
        lanes_[i] = std::rotl(lanes_[i] + Load64(block + 8 * i) * kPrime2, 31) * kPrime1;
    }
}

void Checksum::Update(const uint8_t* data, size_t size) {
    if (size == 0) return;  // `data` may then be null, which no copy may be given
    total_ += size;
    if (pendingSize_ > 0) {
        size_t take = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, data, take);
        pendingSize_ += take;
        data += take;
        size -= take;
        if (pendingSize_ < sizeof pending_) return;
        Round(pending_);
        pendingSize_ = 0;
    }
    for (; size >= 32; data += 32, size -= 32) Round(data);
    std::memcpy(pending_, data, size);
    pendingSize_ = size;
}

uint64_t Checksum::Value() const {
    uint64_t h = std::rotl(lanes_[0], 1) + std::rotl(lanes_[1], 7) + std::rotl(lanes_[2], 12) +
                 std::rotl(lanes_[3], 18);
    h ^= total_ * kPrime1;
    for (size_t i = 0; i < pendingSize_; ++i)
        h = std::rotl(h ^ (pending_[i] * kPrime2), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    return h;
}

// --- Recording ------------------------------------------------------------------------------

std::string FolderOf(const std::string& file) {
    fsys::path parent = fsys::path(file).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string HistoryFolder(const std::string& folder) {
    return (fsys::path(folder) / kFolderName).string();
}

struct StepRecorder::State {
    State(std::string text, FileSystem& fileSystem) : job(std::move(text)), fs(fileSystem) {}
    std::string job;
    FileSystem& fs;
    std::vector<FileStep> files;
    std::unique_ptr<Store> store;
    int32_t number = 0;    // the step written by Record; 0 before that or when there is none
    bool off = false;      // something went wrong: record nothing more
    bool crowded = false;  // the history held more than its limits once the step was written
    // Start runs Record on `worker` (unless it ran already), and then sums `left` and
    // `appended`; Begin, Done and the destructor join it. While it runs it alone touches the
    // fields above, those two and the recorder's remark, and the job leaves their bytes as they
    // are.
    std::thread worker;
    bool recorded = false;  // Record has run
    Left left, appended;
    std::vector<Held> held;

    void SumLeft() {
        for (Left* l : {&left, &appended}) {
            // Without a step nothing compares with the sum.
            if (l->path.empty() || l->summed || number == 0) continue;
            Checksum sum;
            sum.Update(l->bytes.data(), l->bytes.size());
            l->hash = sum.Value();
            l->summed = true;
        }
    }
    void Join() {
        if (worker.joinable()) worker.join();
    }
};

StepRecorder::StepRecorder(std::string job, FileSystem& fs)
    : state_(std::make_unique<State>(std::move(job), fs)) {}

StepRecorder::~StepRecorder() { state_->Join(); }

namespace {
std::string Absolute(const std::string& path) {
    std::error_code ec;
    fsys::path abs = fsys::absolute(path, ec);
    return (ec ? fsys::path(path) : abs).lexically_normal().string();
}
}  // namespace

void StepRecorder::KeepWhole(const std::string& path) {
    FileStep f;
    f.path = Absolute(path);
    f.whole = true;
    f.existed = Exists(path);
    state_->files.push_back(f);
}

void StepRecorder::KeepBytes(const std::string& path, uint64_t offset, uint64_t length) {
    std::string abs = Absolute(path);
    auto same = std::find_if(state_->files.begin(), state_->files.end(),
                             [&](const FileStep& f) { return f.path == abs; });
    if (same == state_->files.end()) {
        FileStep f;
        f.path = abs;
        f.existed = Exists(path);
        try {
            if (f.existed) f.length = state_->fs.Open(path, OpenMode::kReadOnly)->Size();
        } catch (const Error& e) {
            state_->off = true;
            remark_ = std::string("The job ran without recording a step: ") + e.what() + ".";
        }
        state_->files.push_back(f);
        same = state_->files.end() - 1;
    }
    if (length > 0) same->regions.push_back({offset, length});
}

void StepRecorder::Created(const std::string& path) {
    FileStep f;
    f.path = Absolute(path);
    f.whole = true;
    f.existed = false;
    state_->files.push_back(f);
}

void StepRecorder::Holds(const std::string& path, uint64_t offset, std::span<const uint8_t> bytes) {
    State& s = *state_;
    if (!s.recorded && !s.worker.joinable()) s.held.push_back({Absolute(path), offset, bytes});
}

namespace {
// Notes what a job says a file holds after its commit: before Start, once.
void Note(const std::thread& worker, Left& left, const std::string& path,
          std::span<const uint8_t> bytes) {
    if (worker.joinable() || !left.path.empty()) return;
    left.path = Absolute(path);
    left.bytes = bytes;
    left.file = FileAt(path);
}
}  // namespace

void StepRecorder::Leaves(const std::string& path, std::span<const uint8_t> bytes) {
    Note(state_->worker, state_->left, path, bytes);
}

void StepRecorder::Appends(const std::string& path, std::span<const uint8_t> bytes) {
    Note(state_->worker, state_->appended, path, bytes);
}

void StepRecorder::Start() {
    State& s = *state_;
    // A step recorded already may still have bytes to sum, beside the commit.
    if (s.worker.joinable() || (s.recorded && s.left.path.empty() && s.appended.path.empty())) {
        return;
    }
    try {
        s.worker = std::thread([this, &s] {
            if (!s.recorded) Record();
            s.recorded = true;
            s.SumLeft();
        });
    } catch (const std::exception&) {
        // No thread to spare: Begin records the step itself.
    }
}

void StepRecorder::Begin() {
    State& s = *state_;
    // The step is durable, and the job's bytes are its own again, once the worker has ended.
    s.Join();
    if (!s.recorded) Record();
    s.recorded = true;
    s.SumLeft();
}

// Writes the step and makes it durable. Never throws.
void StepRecorder::Record() {
    State& s = *state_;
    if (s.off || s.files.empty() || s.number != 0) return;
    std::sort(s.held.begin(), s.held.end());  // for Keep
    int32_t number = 0;
    try {
        s.store = std::make_unique<Store>(FolderOf(s.files.front().path), s.fs);
        Store& store = *s.store;
        for (const FileStep& f : s.files) {
            if (f.path.find('\n') != std::string::npos) {
                throw Error::InvalidArgument("a file name holds a line break");
            }
        }
        std::error_code ec;
        auto status = fsys::symlink_status(store.root(), ec);
        if (fsys::is_symlink(status)) {
            throw Error::InvalidArgument("the history folder " + store.root() + " is a link");
        }
        if (!fsys::exists(status)) {
            fsys::create_directory(store.root(), ec);
            if (ec) throw Error::Io("cannot create " + store.root() + ": " + ec.message());
        } else if (!fsys::is_directory(status)) {
            throw Error::InvalidArgument(store.root() + " is not a folder");
        }
        auto lock = store.Lock();
        // A new job ends what redo could bring back.
        std::vector<int32_t> numbers = store.Numbers();
        for (int32_t n : numbers) {
            if (store.Has(n, ".undone") || store.Has(n, ".undoing") || store.Has(n, ".redoing")) {
                store.Remove(n);
            }
        }
        store.RemoveLeftovers();
        numbers = store.Numbers();
        number = numbers.empty() ? 1 : numbers.back() + 1;
        Step step;
        step.number = number;
        step.time = NowText();
        step.job = s.job;
        std::unique_ptr<RandomAccessFile> old;
        uint64_t oldSize = 0;
        for (size_t k = 0; k < s.files.size(); ++k) {
            FileStep& f = s.files[k];
            if (!f.existed) continue;
            if (f.whole) {
                std::string link = store.At(number, "." + std::to_string(k) + ".link");
                Link(f.path, link, s.fs);
                auto file = s.fs.Open(link, OpenMode::kReadOnly);
                f.length = file->Size();
                Checksum sum;
                Pass(*file, 0, f.length, sum);
                f.hash = sum.Value();
                continue;
            }
            f.oldAt = oldSize;
            if (OldBytes(f) == 0) {
                f.hash = Checksum().Value();
                continue;
            }
            if (!old) old = s.fs.Open(store.At(number, ".old"), OpenMode::kCreateExclusive);
            auto file = s.fs.Open(f.path, OpenMode::kReadOnly);
            Checksum sum;
            for (const Region& r : f.regions) {
                if (r.offset >= f.length) continue;
                uint64_t n = std::min(r.offset + r.length, f.length) - r.offset;
                Keep(s.held, f.path, *file, r.offset, n, sum, *old, oldSize);
                oldSize += n;
            }
            f.hash = sum.Value();
        }
        if (old) old->Sync();
        step.files = s.files;
        // The manifest last: a step without one is no step, and is cleared away later.
        WriteText(s.fs, store.At(number, ".step"), store.ManifestText(step), true);
        s.number = number;
    } catch (const std::exception& e) {
        if (number) s.store->Remove(number);
        remark_ = std::string("The job ran without recording a step: ") + e.what() + ".";
    }
    s.held.clear();  // the job's bytes are its own again
    if (s.number == 0) return;
    try {
        s.crowded = s.store->Crowded();
    } catch (const std::exception&) {
        // The step stands; the next job looks at the limits again.
    }
}

void StepRecorder::Done() {
    State& s = *state_;
    s.Join();
    if (s.number == 0) return;
    Store& store = *s.store;
    try {
        Step step;
        step.number = s.number;
        step.files = s.files;
        bool changed = false;
        std::string summary;
        for (FileStep& f : step.files) {
            std::optional<Print> left = LeftPrint(f, s.left);
            uint64_t before = 0;
            if (!left) {
                left = AppendedPrint(f, s.appended);
                before = f.hash;  // it keeps no bytes of the file, which are then as they were
            }
            Print p = left ? *left : Watch(s.fs, f, nullptr, 0, false, &before);
            f.afterExists = p.exists;
            f.afterLength = p.length;
            f.afterHash = p.hash;
            std::string what;
            if (!f.existed && p.exists) {
                what = "created";
            } else if (f.existed && !p.exists) {
                what = "removed";
            } else if (f.whole && p.hash != f.hash) {
                what = "replaced";
            } else if (!f.whole) {
                if (p.length > f.length)
                    what = "grew by " + std::to_string(p.length - f.length) + " bytes";
                if (p.length < f.length)
                    what = "cut by " + std::to_string(f.length - p.length) + " bytes";
                // The regions as they were and as they are: unchanged when the checksums agree.
                if (before != f.hash) {
                    uint64_t n = 0;
                    for (const Region& r : f.regions) n += r.length;
                    what += (what.empty() ? "" : ", ") + std::to_string(n) + " bytes rewritten";
                }
            }
            if (what.empty()) continue;
            changed = true;
            summary +=
                (summary.empty() ? "" : "; ") + fsys::path(f.path).filename().string() + " " + what;
        }
        if (!changed) {
            auto lock = store.Lock();
            store.Remove(s.number);
        } else {
            WriteText(s.fs, store.At(s.number, ".seal"), store.AfterText(step, kSealMagic, summary),
                      false);
        }
        if (changed && s.crowded) {
            // Only a job that changed its files makes room for its step.
            auto lock = store.Lock();
            int32_t dropped = store.Prune(s.number);
            if (dropped == 1) remark_ = "The history dropped its oldest step.";
            if (dropped > 1)
                remark_ = "The history dropped its " + std::to_string(dropped) + " oldest steps.";
        }
    } catch (const std::exception&) {
        // The step stays without its seal; undo then checks the files against what the job
        // found instead.
    }
    s.number = 0;
}

// --- Undo and redo --------------------------------------------------------------------------

History::History(std::string folder, FileSystem& fs) : folder_(std::move(folder)), fs_(fs) {}

namespace {

// True when the files are as the job found them, but for bytes appended past the old length of
// a file that the job only grows (a job killed before its commit leaves those, unreferenced).
bool Untouched(FileSystem& fs, const FileStep& f) {
    if (!Exists(f.path)) return !f.existed;
    if (!f.existed) return false;
    Print p = Watch(fs, f, nullptr, 0, true);
    if (f.whole) return p.length == f.length && p.hash == f.hash;
    return p.length >= f.length && p.hash == f.hash;
}

void PutInPlace(Store& store, const std::string& copy, const std::string& path, FileLock* lock) {
    std::error_code ec;
    if (fsys::equivalent(copy, path, ec)) return;  // already in place (a repeated undo)
    std::string temp = path + ".vorlak-undo";
    Link(copy, temp, store.fs());
    if (lock) lock->Cover(temp);
    store.fs().Rename(temp, path);
    store.fs().SyncFolderOf(path);
}

void Remove(Store& store, const std::string& path) {
    std::error_code ec;
    fsys::remove(path, ec);
    if (ec) throw Error::Io("Cannot remove " + path + ": " + ec.message());
    store.fs().SyncFolderOf(path);
}

// Puts every file back as the job found it. Each action can be repeated, so an undo cut short
// is finished by doing it again.
void ApplyBefore(Store& store, const Step& step, FileLock* lock) {
    FileSystem& fs = store.fs();
    for (size_t k = 0; k < step.files.size(); ++k) {
        const FileStep& f = step.files[k];
        if (!f.existed) {
            Remove(store, f.path);
        } else if (f.whole) {
            PutInPlace(store, store.At(step.number, "." + std::to_string(k) + ".link"), f.path,
                       k == 0 ? lock : nullptr);
        } else {
            auto file = fs.Open(f.path, OpenMode::kReadWrite);
            uint64_t at = f.oldAt;
            if (OldBytes(f) > 0) {
                auto old = fs.Open(store.At(step.number, ".old"), OpenMode::kReadOnly);
                for (const Region& r : f.regions) {
                    if (r.offset >= f.length) continue;
                    uint64_t n = std::min(r.offset + r.length, f.length) - r.offset;
                    Copy(*old, at, n, *file, r.offset);
                    at += n;
                }
            }
            if (file->Size() != f.length) file->Truncate(f.length);
            file->Sync();
        }
    }
}

// Puts every file back as the undo found it, in the opposite order: the statics data before the
// index that points into it.
void ApplyAfter(Store& store, const Step& step, FileLock* lock) {
    FileSystem& fs = store.fs();
    for (size_t k = step.files.size(); k-- > 0;) {
        const FileStep& f = step.files[k];
        if (!f.afterExists) {
            Remove(store, f.path);
        } else if (f.whole) {
            PutInPlace(store, store.At(step.number, "." + std::to_string(k) + ".after"), f.path,
                       k == 0 ? lock : nullptr);
        } else {
            auto file = fs.Open(f.path, OpenMode::kReadWrite);
            auto copy = fs.Open(store.At(step.number, ".new"), OpenMode::kReadOnly);
            uint64_t at = f.newAt;
            auto put = [&](uint64_t offset, uint64_t end) {
                const uint64_t n = std::max(end, offset) - offset;
                Copy(*copy, at, n, *file, offset);
                at += n;
            };
            for (const Region& r : f.regions)
                put(r.offset, std::min(r.offset + r.length, f.afterLength));
            put(f.length, f.afterLength);  // what the job grew it by, if it did
            if (file->Size() != f.afterLength) file->Truncate(f.afterLength);
            file->Sync();
        }
    }
}

// Keeps the files as they stand, for redo, and notes their fingerprints.
void KeepAfter(Store& store, Step& step) {
    FileSystem& fs = store.fs();
    std::string newPath = store.At(step.number, ".new");
    fs.Remove(newPath);
    std::unique_ptr<RandomAccessFile> copy;
    uint64_t at = 0;
    for (size_t k = 0; k < step.files.size(); ++k) {
        FileStep& f = step.files[k];
        Print p;
        if (f.whole) {
            std::string after = store.At(step.number, "." + std::to_string(k) + ".after");
            if (Exists(f.path)) {
                Link(f.path, after, fs);
                p.exists = true;
                auto file = fs.Open(after, OpenMode::kReadOnly);
                p.length = file->Size();
                Checksum sum;
                Pass(*file, 0, p.length, sum);
                p.hash = sum.Value();
            }
        } else {
            if (!copy) copy = fs.Open(newPath, OpenMode::kCreateExclusive);
            f.newAt = at;
            p = Watch(fs, f, copy.get(), at);
            f.afterLength = p.length;
            at += Store::AfterBytes(f);
        }
        f.afterExists = p.exists;
        f.afterLength = p.length;
        f.afterHash = p.hash;
    }
    if (copy) copy->Sync();
    WriteText(fs, store.At(step.number, ".redo"), store.AfterText(step, kRedoMagic, {}), true);
}

std::unique_ptr<FileLock> LockJob(const Step& step) {
    const std::string& path = step.files.front().path;
    if (!Exists(path)) return nullptr;
    auto lock = FileLock::Try(path, FileLock::Mode::kExclusive);
    if (!lock) {
        throw Error::Io("The files of job " + std::to_string(step.number) +
                        " are in use by another job.");
    }
    return lock;
}

JobOutcome Fail(std::string status, std::string detail = {}) {
    return {false, std::move(status), std::move(detail)};
}

std::string Describe(const Step& step) {
    return std::to_string(step.number) + " (" + step.job + ")";
}

// Finishes an undo or redo cut short; none when there was none.
std::optional<JobOutcome> Resume(Store& store) {
    for (int32_t n : store.Numbers()) {
        bool undoing = store.Has(n, ".undoing");
        bool redoing = store.Has(n, ".redoing");
        if (!undoing && !redoing) continue;
        Step step = store.Load(n);
        if (undoing) {
            store.ReadAfter(step, store.At(n, ".redo"), kRedoMagic, nullptr);
            store.Verify(step, true);
            auto lock = LockJob(step);
            ApplyBefore(store, step, lock.get());
            store.fs().Rename(store.At(n, ".undoing"), store.At(n, ".undone"));
            store.fs().SyncFolderOf(store.At(n, ".undone"));
            return JobOutcome{true, "Undid job " + Describe(step) + ".", {}};
        }
        store.ReadAfter(step, store.At(n, ".redo"), kRedoMagic, nullptr);
        store.Verify(step, false);
        auto lock = LockJob(step);
        ApplyAfter(store, step, lock.get());
        store.fs().Remove(store.At(n, ".undone"));
        store.fs().Remove(store.At(n, ".redoing"));
        store.fs().SyncFolderOf(store.At(n, ".step"));
        return JobOutcome{true, "Redid job " + Describe(step) + ".", {}};
    }
    return std::nullopt;
}

template <class Work>
JobOutcome Guarded(const std::string& folder, FileSystem& fs, const char* nothing, Work work) {
    Store store(folder, fs);
    if (!fsys::is_directory(store.root())) return Fail(nothing);
    try {
        auto lock = store.Lock();
        if (auto resumed = Resume(store)) return *resumed;
        return work(store);
    } catch (const Error& e) {
        return Fail(std::string(e.what()) + (std::string(e.what()).ends_with(".") ? "" : "."),
                    "Nothing was changed.");
    } catch (const std::exception& e) {
        return Fail("The history could not be used.", e.what());
    }
}

}  // namespace

JobOutcome History::Undo(bool force) {
    return Guarded(folder_, fs_, "Nothing to undo.", [&](Store& store) -> JobOutcome {
        std::vector<int32_t> numbers = store.Numbers();
        for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
            int32_t n = *it;
            if (store.Has(n, ".undone")) continue;
            Step step = store.Load(n);
            store.Verify(step, true);
            auto lock = LockJob(step);
            if (!step.sealed) {
                // A job that never finished: when it never reached its files it is passed over
                // (any bytes it appended go), otherwise what it wrote is taken back.
                if (std::all_of(step.files.begin(), step.files.end(),
                                [&](const FileStep& f) { return Untouched(fs_, f); })) {
                    ApplyBefore(store, step, lock.get());
                    store.Remove(n);
                    continue;
                }
            } else if (!force) {
                for (const FileStep& f : step.files) {
                    Print now = Watch(fs_, f);
                    if (now != Print{f.afterExists, f.afterLength, f.afterHash}) {
                        return Fail("Cannot undo job " + Describe(step) + ": " +
                                        Shown(f.path, folder_) +
                                        " was changed since; nothing was changed.",
                                    "Use --force to put back the files as they were before the "
                                    "job anyway.");
                    }
                }
            }
            KeepAfter(store, step);
            Touch(fs_, store.At(n, ".undoing"));
            ApplyBefore(store, step, lock.get());
            fs_.Rename(store.At(n, ".undoing"), store.At(n, ".undone"));
            fs_.SyncFolderOf(store.At(n, ".undone"));
            return JobOutcome{true, "Undid job " + Describe(step) + ".", {}};
        }
        return Fail("Nothing to undo.");
    });
}

JobOutcome History::Redo(bool force) {
    return Guarded(folder_, fs_, "Nothing to redo.", [&](Store& store) -> JobOutcome {
        for (int32_t n : store.Numbers()) {
            if (!store.Has(n, ".undone")) continue;
            Step step = store.Load(n);
            store.ReadAfter(step, store.At(n, ".redo"), kRedoMagic, nullptr);
            store.Verify(step, false);
            auto lock = LockJob(step);
            if (!force) {
                for (const FileStep& f : step.files) {
                    Print now = Watch(fs_, f, nullptr, 0, true);
                    bool same = now.exists == f.existed &&
                                (!f.existed || (now.length == f.length && now.hash == f.hash));
                    if (!same) {
                        return Fail("Cannot redo job " + Describe(step) + ": " +
                                        Shown(f.path, folder_) +
                                        " was changed since; nothing was changed.",
                                    "Use --force to put back the files as the job left them "
                                    "anyway.");
                    }
                }
            }
            Touch(fs_, store.At(n, ".redoing"));
            ApplyAfter(store, step, lock.get());
            fs_.Remove(store.At(n, ".undone"));
            fs_.Remove(store.At(n, ".redoing"));
            fs_.SyncFolderOf(store.At(n, ".step"));
            return JobOutcome{true, "Redid job " + Describe(step) + ".", {}};
        }
        return Fail("Nothing to redo.");
    });
}

std::vector<StepInfo> History::List() {
    std::vector<StepInfo> list;
    Store store(folder_, fs_);
    if (!fsys::is_directory(store.root())) return list;
    std::vector<int32_t> numbers = store.Numbers();
    for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
        StepInfo info;
        info.number = *it;
        info.undone = store.Has(*it, ".undone");
        try {
            Step step = store.Load(*it);
            info.time = step.time;
            info.job = step.job;
            info.summary = step.summary;
            info.finished = step.sealed;
            for (const FileStep& f : step.files) info.files.push_back(Shown(f.path, folder_));
            store.Verify(step, true);
        } catch (const Error& e) {
            info.damage = e.what();
        }
        list.push_back(info);
    }
    return list;
}

std::optional<StepInfo> History::NextUndo() {
    Store store(folder_, fs_);
    if (!fsys::is_directory(store.root())) return std::nullopt;
    std::vector<int32_t> numbers = store.Numbers();
    for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
        if (store.Has(*it, ".undone")) continue;
        StepInfo info;
        info.number = *it;
        try {
            Step step = store.Load(*it);
            // A job that never reached its files is passed over, as undo passes over it.
            if (!step.sealed && std::all_of(step.files.begin(), step.files.end(),
                                            [&](const FileStep& f) { return Untouched(fs_, f); })) {
                continue;
            }
            info.time = step.time;
            info.job = step.job;
            info.summary = step.summary;
            info.finished = step.sealed;
            for (const FileStep& f : step.files) info.files.push_back(Shown(f.path, folder_));
        } catch (const Error& e) {
            info.damage = e.what();
        }
        return info;
    }
    return std::nullopt;
}

JobOutcome History::Clear() {
    Store store(folder_, fs_);
    if (!fsys::is_directory(store.root())) return {true, "The history is empty.", {}};
    try {
        auto lock = store.Lock();
        for (int32_t n : store.Numbers()) store.Remove(n);
        store.RemoveLeftovers();
    } catch (const std::exception& e) {
        return Fail("The history could not be cleared.", e.what());
    }
    return {true, "The history is empty.", {}};
}

Limits History::limits() { return Store(folder_, fs_).ReadLimits(); }

JobOutcome History::SetLimits(const Limits& limits) {
    Store store(folder_, fs_);
    try {
        std::error_code ec;
        fsys::create_directory(store.root(), ec);
        auto lock = store.Lock();
        store.WriteLimits(limits);
        int32_t dropped = store.Prune(-1);
        std::string text = "The history keeps the last " + std::to_string(limits.jobs) +
                           " jobs and at most " + std::to_string(limits.bytes) + " bytes.";
        return {true, text,
                dropped ? "It dropped its " + std::to_string(dropped) + " oldest steps." : ""};
    } catch (const std::exception& e) {
        return Fail("The history limits could not be changed.", e.what());
    }
}

std::optional<uint64_t> ParseSize(const std::string& text) {
    size_t used = 0;
    uint64_t value = 0;
    try {
        if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
        value = std::stoull(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::string suffix = text.substr(used);
    static const std::map<std::string, int> shifts = {{"", 0},     {"K", 10},   {"KiB", 10},
                                                      {"M", 20},   {"MiB", 20}, {"G", 30},
                                                      {"GiB", 30}, {"T", 40},   {"TiB", 40}};
    auto found = shifts.find(suffix);
    if (found == shifts.end()) return std::nullopt;
    if (value > (~uint64_t{0} >> found->second)) return std::nullopt;
    return value << found->second;
}

}  // namespace vorlak::history
