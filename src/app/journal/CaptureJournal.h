#pragma once
// The capture journal: every acknowledged press is on disk before its processing starts, and
// leaves the journal only once the library holds what it made. See docs/ARCHITECTURE.md.
//
// Files, in <home>/journal/ (one set per press, named by its identifier):
//   <id>.entry   the press (JournalEntry), written at the press, rewritten as it proceeds
//   <id>.photo   the camera's bytes (HEIC still or DNG), once they arrive
//   <id>.mov     a Live Photo's movie, moved here when it arrives
//   damaged/     entries that could not be processed, kept with a .reason text
// Every file is written under a temporary name starting with "." and renamed into place, so a
// reader finds each file whole or absent.
//
// Threads: any; the journal serialises its own writes.

#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "app/journal/JournalEntry.h"

namespace sorvel {

class CaptureJournal {
public:
    // Opens (creating) the journal folder. Never fails: a folder that cannot be made makes
    // every write fail with the reason.
    static std::shared_ptr<CaptureJournal> open(const std::filesystem::path& folder);
    // The journal the app's presses go to; none in unit tests that do not set one.
    static std::shared_ptr<CaptureJournal> shared();
    static void setShared(std::shared_ptr<CaptureJournal> journal);

    const std::filesystem::path& folder() const { return folder_; }

    // Each write returns the reason it failed, or nothing. A failed write leaves what was there.
    // The press: cheap (no fsync), so it costs the shutter nothing; made durable with the photo.
    std::optional<std::string> begin(JournalEntry& entry);
    std::optional<std::string> attachPhoto(JournalEntry& entry, const Bytes& photo);
    // Moves the movie file into the journal and points `movie` at its new place.
    std::optional<std::string> attachMovie(JournalEntry& entry, std::filesystem::path& movie);
    std::optional<std::string> markMovieFailed(JournalEntry& entry);
    // Counts a start's attempt to finish the entry, on disk before the attempt begins.
    std::optional<std::string> noteRecoveryAttempt(JournalEntry& entry);
    // Records what became of one of the press's assets. Once every slot is committed or
    // dropped, the entry's files are removed; an entry with a slot to retry stays for the next
    // start. Returns true when the entry left the journal.
    bool settle(JournalEntry& entry, const std::string& slot, SlotState state);
    // The press ended before anything could be saved (the camera failed): nothing to keep.
    void abandon(const JournalEntry& entry);
    // Moves the entry's files to damaged/ with the reason beside them. Returns the folder.
    std::filesystem::path keepAside(const std::string& identifier, const std::string& reason);

    // Entries on disk, oldest press first, excluding those this process is still working on.
    std::vector<std::string> unfinishedIdentifiers() const;
    // The entry and its photo (checked against its size and checksum), or why it cannot be used.
    std::variant<JournalEntry, std::string> load(const std::string& identifier, std::optional<Bytes>& photo) const;
    std::filesystem::path movieFile(const std::string& identifier) const;

    // Presses of this process that are not settled yet.
    int inFlight() const;
    // Marks an entry loaded for recovery as this process's work (so inFlight counts it).
    void adopt(const std::string& identifier);
    // Library saves of an entry that have not answered yet; waitUntilAnswered blocks until none.
    void saveStarted(const std::string& identifier);
    void saveAnswered(const std::string& identifier);
    void waitUntilAnswered(const JournalEntry& entry);
    // Waits until this process has no press left in flight or `seconds` have passed; the
    // number still in flight.
    int waitForInFlight(double seconds);

    CaptureJournal(std::filesystem::path folder, std::optional<std::string> unavailable);

private:
    std::optional<std::string> writeEntry(const JournalEntry& entry, bool sync);
    void removeFiles(const std::string& identifier);

    std::filesystem::path folder_;
    std::optional<std::string> unavailable_;
    mutable std::mutex mutex_;
    std::set<std::string> working_;
    std::map<std::string, int> savesInFlight_;
    std::condition_variable changed_;
};

}  // namespace sorvel
