#include "platform/inet/http_response_reader.h"

#include "base/hex.h"
#include "base/text.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::string_view HttpPrefix = "HTTP/";
constexpr std::size_t MaxChunkLineBytes = 4096;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "HTTP/1.1 200 OK", "HTTP/1.0 404", "HTTP/1.1 200 " ...: the status and
// reason, or a status of 0.
std::pair<int, std::string> parseStatusLine(std::string_view line)
{
    if (line.substr(0, HttpPrefix.size()) != HttpPrefix)
        return {0, {}};
    line.remove_prefix(HttpPrefix.size());
    if (line.size() < 1 || !isDigit(line[0]))
        return {0, {}};
    line.remove_prefix(1);
    if (line.size() >= 2 && line[0] == '.' && isDigit(line[1]))
        line.remove_prefix(2);
    if (line.size() < 4 || line[0] != ' ' || !isDigit(line[1]) || !isDigit(line[2]) || !isDigit(line[3]))
        return {0, {}};
    const int status = (line[1] - '0') * 100 + (line[2] - '0') * 10 + (line[3] - '0');
    line.remove_prefix(4);
    if (!line.empty() && line[0] != ' ')
        return {0, {}};
    if (status < 100)
        return {0, {}};
    return {status, std::string(base::TrimSpacesAndTabs(line))};
}

// A length of decimal digits; the first of a list of equal ones ("5, 5").
std::int64_t parseLength(std::string_view value)
{
    std::int64_t length = -1;
    while (!value.empty()) {
        const std::size_t comma = std::min(value.find(','), value.size());
        const std::string_view item = base::TrimSpacesAndTabs(value.substr(0, comma));
        value.remove_prefix(std::min(comma + 1, value.size()));
        if (item.empty() || item.size() > 18 || !std::all_of(item.begin(), item.end(), isDigit))
            return -1;
        std::int64_t n = 0;
        for (const char c : item)
            n = n * 10 + (c - '0');
        if (length >= 0 && n != length)
            return -1;
        length = n;
    }
    return length;
}

} // namespace

bool HttpResponseReader::fail(Failure failure)
{
    failure_ = failure;
    state_ = State::Failed;
    return false;
}

std::size_t HttpResponseReader::read(std::string_view data, std::string *body)
{
    std::size_t used = 0;
    while (used < data.size()) {
        switch (state_) {
        case State::StatusLine: {
            const char c = data[used++];
            if (line_.empty() && (c == '\r' || c == '\n'))
                break; // line ends before the status line are passed over
            if (c == '\n') {
                if (!endStatusLine())
                    return used;
                break;
            }
            line_.push_back(c);
            if (line_.size() <= HttpPrefix.size() && c != HttpPrefix[line_.size() - 1]) {
                fail(Failure::NotHttp);
                return used;
            }
            if (line_.size() > MaxHeaderLineBytes + 1) {
                fail(Failure::LineTooLong);
                return used;
            }
            break;
        }
        case State::Header:
        case State::Trailer:
            if (!headerByte(data[used++]))
                return used;
            if (headArrived_)
                return used; // the caller looks at the header first
            break;
        case State::Body: {
            const std::string_view rest = data.substr(used);
            if (framing_ == Framing::ToEnd) {
                body->append(rest);
                used = data.size();
                break;
            }
            const std::size_t take = std::size_t(std::min<std::uint64_t>(remaining_, rest.size()));
            body->append(rest.substr(0, take));
            used += take;
            remaining_ -= take;
            if (remaining_ == 0)
                state_ = State::Complete;
            break;
        }
        case State::ChunkSize: {
            const char c = data[used++];
            if (c != '\n') {
                line_.push_back(c);
                if (line_.size() > MaxChunkLineBytes) {
                    fail(Failure::BadChunk);
                    return used;
                }
                break;
            }
            std::string_view size = line_;
            size = base::TrimSpacesAndTabs(size.substr(0, std::min(size.find(';'), size.size())));
            if (!size.empty() && size.back() == '\r')
                size = base::TrimSpacesAndTabs(size.substr(0, size.size() - 1));
            const std::optional<std::uint64_t> n = base::ParseHexNumber(size);
            if (!n || *n > (std::uint64_t(1) << 62)) {
                fail(Failure::BadChunk);
                return used;
            }
            line_.clear();
            remaining_ = *n;
            if (remaining_ == 0) {
                lines_ = 0;
                headerBytes_ = 0;
                state_ = State::Trailer;
            } else {
                state_ = State::ChunkData;
            }
            break;
        }
        case State::ChunkData: {
            const std::string_view rest = data.substr(used);
            const std::size_t take = std::size_t(std::min<std::uint64_t>(remaining_, rest.size()));
            body->append(rest.substr(0, take));
            used += take;
            remaining_ -= take;
            if (remaining_ == 0)
                state_ = State::ChunkEnd;
            break;
        }
        case State::ChunkEnd: {
            const char c = data[used++];
            if (c == '\n')
                state_ = State::ChunkSize;
            else if (c != '\r') {
                fail(Failure::BadChunk);
                return used;
            }
            break;
        }
        case State::Complete:
        case State::Failed: return data.size(); // nothing more is read
        }
    }
    return used;
}

bool HttpResponseReader::endStatusLine()
{
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    auto [status, reason] = parseStatusLine(line_);
    line_.clear();
    if (status == 0)
        return fail(Failure::BadStatusLine);
    status_ = status;
    reason_ = std::move(reason);
    headers_.clear();
    lines_ = 0;
    headerBytes_ = 0;
    state_ = State::Header;
    return true;
}

bool HttpResponseReader::headerByte(char c)
{
    if (c != '\n') {
        if (c == '\r') {
            line_.push_back(c);
            return true;
        }
        if (line_.empty() && lines_ == MaxHeaderLines)
            return fail(Failure::TooManyLines);
        line_.push_back(c);
        if (++headerBytes_ > MaxHeaderBytes)
            return fail(Failure::HeaderTooLarge);
        // Line ends are not counted; a CR inside a line is.
        if (line_.size() > MaxHeaderLineBytes && !(line_.size() == MaxHeaderLineBytes + 1 && line_.back() == '\r'))
            return fail(Failure::LineTooLong);
        return true;
    }
    if (!line_.empty() && line_.back() == '\r')
        line_.pop_back();
    if (line_.empty()) {
        if (state_ == State::Trailer)
            state_ = State::Complete;
        else
            endHead();
        return true;
    }
    ++lines_;
    if (state_ == State::Header) {
        if ((line_[0] == ' ' || line_[0] == '\t') && !headers_.empty()) {
            // A value continued on the next line.
            headers_.back().second += ' ';
            headers_.back().second += base::TrimSpacesAndTabs(line_);
        } else if (const std::size_t colon = line_.find(':'); colon != std::string::npos) {
            headers_.emplace_back(std::string(base::TrimSpacesAndTabs(std::string_view(line_).substr(0, colon))),
                                  std::string(base::TrimSpacesAndTabs(std::string_view(line_).substr(colon + 1))));
        }
    }
    line_.clear();
    return true;
}

void HttpResponseReader::endHead()
{
    if (status_ < 200) {
        // An interim response: the final one follows.
        state_ = State::StatusLine;
        return;
    }
    headArrived_ = true;
    headDone_ = true;
    const std::string coding = header("Transfer-Encoding");
    const std::size_t comma = coding.rfind(',');
    const std::string_view last =
        base::TrimSpacesAndTabs(std::string_view(coding).substr(comma == std::string::npos ? 0 : comma + 1));
    if (hasHeader("Transfer-Encoding") && base::EqualsNoCase(last, "chunked")) {
        framing_ = Framing::Chunked;
        state_ = State::ChunkSize;
        return;
    }
    announcedLength_ = hasHeader("Content-Length") ? parseLength(header("Content-Length")) : -1;
    if (status_ == 204 || status_ == 304) {
        state_ = State::Complete;
        return;
    }
    if (announcedLength_ >= 0 && !hasHeader("Transfer-Encoding")) {
        framing_ = Framing::Length;
        remaining_ = std::uint64_t(announcedLength_);
        state_ = remaining_ == 0 ? State::Complete : State::Body;
        return;
    }
    framing_ = Framing::ToEnd;
    state_ = State::Body;
}

void HttpResponseReader::connectionEnded()
{
    if (state_ == State::Complete || state_ == State::Failed)
        return;
    if (state_ == State::Body && framing_ == Framing::ToEnd)
        state_ = State::Complete;
    else
        fail(Failure::ClosedTooEarly);
}

std::string HttpResponseReader::header(std::string_view name) const
{
    std::string values;
    for (const auto &[key, value] : headers_)
        if (base::EqualsNoCase(key, name))
            values += (values.empty() ? "" : ", ") + value;
    return values;
}

bool HttpResponseReader::hasHeader(std::string_view name) const
{
    return std::any_of(headers_.begin(), headers_.end(),
                       [name](const auto &h) { return base::EqualsNoCase(h.first, name); });
}

std::string HttpResponseReader::failureText() const
{
    switch (failure_) {
    case Failure::None: return {};
    case Failure::NotHttp: return "The server's reply is not HTTP: it does not start with a status line";
    case Failure::BadStatusLine: return "The server's reply starts with a malformed status line";
    case Failure::TooManyLines:
        return "The server's response header has more than " + std::to_string(MaxHeaderLines) + " lines";
    case Failure::LineTooLong:
        return "The server's response header has a line longer than " + std::to_string(MaxHeaderLineBytes / 1024) +
               " KiB";
    case Failure::HeaderTooLarge:
        return "The server's response header passed " + std::to_string(MaxHeaderBytes / 1024) + " KiB";
    case Failure::BadChunk: return "The server's reply has a malformed chunk in its body";
    case Failure::ClosedTooEarly: return "Connection closed by the server before the page was complete";
    }
    return {};
}

} // namespace platform
