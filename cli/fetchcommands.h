#pragma once

#include "headless.h"
#include "stationsession.h"

#include <QString>
#include <atomic>
#include <string>
#include <vector>

namespace nimbra {

// Which station files to fetch into a data folder.
struct FetchRequest
{
    QString dataFolder;
    std::vector<std::string> names; // these files, each of which must be on the card
    bool all = false;               // every file on the card
    bool onlyNew = false;           // skip files whose local copy is already complete
    // Set from another thread (a signal): the fetch ends at the next chunk boundary.
    const std::atomic<bool>* stop = nullptr;
};

// Fetches the files into their local copies as the SD-card dialog does, resuming after what a
// copy holds, and imports each into the record store and the kept history. Says what it did on
// env.out and every failure on env.err. Exit status: 0 when every file arrived and went in.
int FetchFiles(HeadlessEnvironment& env, StationSession& session, const FetchRequest& request);

} // namespace nimbra
