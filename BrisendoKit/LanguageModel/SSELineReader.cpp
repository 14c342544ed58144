#include "BrisendoKit/LanguageModel/SSELineReader.h"

namespace pivorel {

bool SSELineReader::appendPending(std::string_view part) {
    if (skipping_) return false;
    if (pending_.size() + part.size() > maxLine_) {
        pending_.clear();
        pending_.shrink_to_fit();
        skipping_ = true;
        ++dropped_;
        return false;
    }
    pending_.append(part);
    return true;
}

bool SSELineReader::feed(std::string_view bytes, const LineHandler& onLine) {
    std::size_t pos = 0;
    if (afterCR_ && !bytes.empty()) {
        afterCR_ = false;
        if (bytes.front() == '\n') pos = 1;
    }
    while (pos < bytes.size()) {
        const auto end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            appendPending(bytes.substr(pos));
            return true;
        }
        const std::string_view part = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (bytes[end] == '\r') {
            if (pos < bytes.size()) {
                if (bytes[pos] == '\n') ++pos;
            } else {
                afterCR_ = true;
            }
        }
        if (skipping_) {
            skipping_ = false;
            continue;
        }
        bool keepGoing;
        if (pending_.empty()) {
            if (part.size() > maxLine_) {
                ++dropped_;
                continue;
            }
            keepGoing = onLine(part);
        } else {
            if (!appendPending(part)) {
                skipping_ = false;  // the line ended here
                continue;
            }
            const std::string line = std::move(pending_);
            pending_.clear();
            keepGoing = onLine(line);
        }
        if (!keepGoing) return false;
    }
    return true;
}

bool SSELineReader::finish(const LineHandler& onLine) {
    const bool wasSkipping = skipping_;
    skipping_ = false;
    afterCR_ = false;
    if (wasSkipping || pending_.empty()) return true;
    const std::string line = std::move(pending_);
    pending_.clear();
    return onLine(line);
}

}  // namespace pivorel
