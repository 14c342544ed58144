#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace pivorel {

// Cuts a byte stream that arrives in arbitrary pieces into lines. LF, CR LF and a lone CR
// each end a line; a line split across pieces is joined first. A line longer than the
// limit is dropped whole and the bytes up to its end are skipped without being kept, so
// memory stays bounded whatever the stream holds.
class SSELineReader {
  public:
    // Hands over one line without its end; returns false to stop reading.
    using LineHandler = std::function<bool(std::string_view line)>;

    static constexpr std::size_t defaultMaxLine = std::size_t{1} << 20;

    explicit SSELineReader(std::size_t maxLine = defaultMaxLine) : maxLine_(maxLine) {}

    // Returns false when the handler asked to stop (the rest of `bytes` is not read).
    bool feed(std::string_view bytes, const LineHandler& onLine);

    // The body has ended: hands over a last line that had no line end.
    bool finish(const LineHandler& onLine);

    // Bytes held for an unfinished line.
    std::size_t buffered() const { return pending_.size(); }
    // Lines dropped for their length so far.
    std::size_t droppedLines() const { return dropped_; }

  private:
    bool appendPending(std::string_view part);

    std::size_t maxLine_;
    std::string pending_;
    bool skipping_ = false;  // inside an over-long line
    bool afterCR_ = false;   // the last byte seen was a CR: a following LF ends nothing
    std::size_t dropped_ = 0;
};

}  // namespace pivorel
