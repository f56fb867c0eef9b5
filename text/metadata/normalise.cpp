#include "text/metadata/normalise.h"

#include "base/text.h"

#include <array>
#include <cstdio>
#include <vector>

namespace quillan::text::metadata {

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '\v';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads between `min` and `max` digits at s[i]; nothing when fewer.
std::optional<int> number(std::string_view s, std::size_t &i, std::size_t min, std::size_t max)
{
    std::size_t n = 0;
    int value = 0;
    while (i + n < s.size() && n < max && isDigit(s[i + n])) {
        value = value * 10 + (s[i + n] - '0');
        ++n;
    }
    if (n < min)
        return std::nullopt;
    i += n;
    return value;
}

int daysIn(int year, int month)
{
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[std::size_t(month - 1)];
}

struct Moment {
    int year = 0, month = 0, day = 0;
    int hour = -1, minute = 0, second = 0;
    std::string offset; // "Z", "+01:00"; empty: not given
};

bool validDay(const Moment &m)
{
    return m.year >= 1000 && m.year <= 9999 && m.month >= 1 && m.month <= 12 && m.day >= 1 &&
           m.day <= daysIn(m.year, m.month);
}

std::string written(const Moment &m)
{
    char text[40];
    // A time is kept only when it says where it holds, or as the page wrote
    // it with the date in ISO form.
    if (m.hour < 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", m.year, m.month, m.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%s", m.year, m.month, m.day, m.hour, m.minute,
                      m.second, m.offset.c_str());
    return text;
}

// A zone at s[i]: "Z", "UTC", "GMT", "+01", "+0100", "+01:00". Moves i past
// it.
std::optional<std::string> zone(std::string_view s, std::size_t &i)
{
    std::size_t j = i;
    while (j < s.size() && s[j] == ' ')
        ++j;
    const std::string_view rest = s.substr(j);
    if (rest.starts_with("Z")) {
        i = j + 1;
        return "Z";
    }
    if (base::EqualsNoCase(rest.substr(0, 3), "UTC") || base::EqualsNoCase(rest.substr(0, 3), "GMT")) {
        j += 3;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            i = j;
            return zone(s, i);
        }
        i = j;
        return "Z";
    }
    if (rest.empty() || (rest[0] != '+' && rest[0] != '-'))
        return std::nullopt;
    const char sign = rest[0];
    ++j;
    const std::optional<int> hours = number(s, j, 2, 2);
    if (!hours || *hours > 14)
        return std::nullopt;
    int minutes = 0;
    if (j < s.size() && s[j] == ':')
        ++j;
    if (j < s.size() && isDigit(s[j])) {
        const std::optional<int> m = number(s, j, 2, 2);
        if (!m || *m > 59)
            return std::nullopt;
        minutes = *m;
    }
    i = j;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02d:%02d", sign, *hours, minutes);
    return std::string(text);
}

// "HH:MM", "HH:MM:SS", "HH:MM:SS.fff" at s[i], with an "am"/"pm" after it
// in English dates. Moves i past it.
bool timeOfDay(std::string_view s, std::size_t &i, Moment &m, bool twelveHours)
{
    std::size_t j = i;
    const std::optional<int> hour = number(s, j, 1, 2);
    if (!hour || j >= s.size() || s[j] != ':')
        return false;
    ++j;
    const std::optional<int> minute = number(s, j, 2, 2);
    if (!minute)
        return false;
    int second = 0;
    if (j < s.size() && s[j] == ':') {
        ++j;
        const std::optional<int> sec = number(s, j, 2, 2);
        if (!sec)
            return false;
        second = *sec;
        if (j < s.size() && (s[j] == '.' || s[j] == ',')) {
            ++j;
            if (!number(s, j, 1, 9))
                return false;
            while (j < s.size() && isDigit(s[j]))
                ++j;
        }
    }
    int h = *hour;
    if (twelveHours) {
        std::size_t k = j;
        while (k < s.size() && s[k] == ' ')
            ++k;
        const std::string_view mark = s.substr(k, 2);
        const bool am = base::EqualsNoCase(mark, "am"), pm = base::EqualsNoCase(mark, "pm");
        if (am || pm) {
            if (h < 1 || h > 12)
                return false;
            h = h % 12 + (pm ? 12 : 0);
            j = k + 2;
        }
    }
    if (h > 23 || *minute > 59 || second > 60)
        return false;
    m.hour = h;
    m.minute = *minute;
    m.second = second == 60 ? 59 : second;
    i = j;
    return true;
}

// 2015-07-10, 2015/07/10, 2015.07.10, 20150710, each with an optional time.
std::optional<std::string> numericDate(std::string_view s)
{
    Moment m;
    std::size_t i = 0;
    const std::optional<int> year = number(s, i, 4, 4);
    if (!year)
        return std::nullopt;
    m.year = *year;
    std::optional<int> month, day;
    if (i < s.size() && (s[i] == '-' || s[i] == '/' || s[i] == '.')) {
        const char separator = s[i++];
        month = number(s, i, 1, 2);
        if (!month || i >= s.size() || s[i] != separator)
            return std::nullopt;
        ++i;
        day = number(s, i, 1, 2);
    } else {
        month = number(s, i, 2, 2);
        day = number(s, i, 2, 2);
    }
    if (!month || !day)
        return std::nullopt;
    m.month = *month;
    m.day = *day;
    if (!validDay(m) || (i < s.size() && isDigit(s[i])))
        return std::nullopt;
    if (i < s.size() && (s[i] == 'T' || s[i] == 't' || s[i] == ' ')) {
        std::size_t j = i + 1;
        Moment timed = m;
        if (timeOfDay(s, j, timed, false)) {
            if (const std::optional<std::string> offset = zone(s, j))
                timed.offset = *offset;
            return written(timed);
        }
    }
    return written(m);
}

constexpr std::array<std::string_view, 12> Months{"january",   "february", "march",    "april",
                                                  "may",       "june",     "july",     "august",
                                                  "september", "october",  "november", "december"};

// 1 to 12 for an English month's name or its abbreviation ("Sep", "Sept.").
int monthNamed(std::string_view word)
{
    if (!word.empty() && word.back() == '.')
        word.remove_suffix(1);
    if (word.size() < 3)
        return 0;
    std::string lower;
    for (const char c : word)
        lower += base::AsciiLower(c);
    for (std::size_t i = 0; i < Months.size(); ++i)
        if (Months[i].starts_with(lower))
            return int(i) + 1;
    return 0;
}

bool isWeekday(std::string_view word)
{
    static constexpr std::array<std::string_view, 7> Days{"monday", "tuesday",  "wednesday", "thursday",
                                                          "friday", "saturday", "sunday"};
    if (!word.empty() && word.back() == '.')
        word.remove_suffix(1);
    if (word.size() < 3)
        return false;
    std::string lower;
    for (const char c : word)
        lower += base::AsciiLower(c);
    for (const std::string_view day : Days)
        if (day.starts_with(lower))
            return true;
    return false;
}

// A day of the month as written in English: "10", "10th", "1st".
std::optional<int> dayNumber(std::string_view word)
{
    std::size_t i = 0;
    const std::optional<int> day = number(word, i, 1, 2);
    if (!day)
        return std::nullopt;
    const std::string_view rest = word.substr(i);
    if (!rest.empty() && !(rest.size() == 2 && isAlpha(rest[0]) && isAlpha(rest[1])))
        return std::nullopt;
    return day;
}

// "July 10, 2015", "10 Jul 2015", "Fri, 10 Jul 2015 09:53:00 GMT",
// "March 11, 2015 3:46 PM": words of letters and digits.
std::optional<std::string> englishDate(std::string_view s)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size() && words.size() < 5) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ','))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != ',')
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    if (!words.empty() && isWeekday(words[0]))
        words.erase(words.begin());
    if (words.size() < 3)
        return std::nullopt;
    Moment m;
    std::optional<int> day;
    if ((m.month = monthNamed(words[0])) != 0)
        day = dayNumber(words[1]);
    else if ((m.month = monthNamed(words[1])) != 0)
        day = dayNumber(words[0]);
    std::size_t y = 0;
    const std::optional<int> year = number(words[2], y, 4, 4);
    if (!day || !year || y != words[2].size())
        return std::nullopt;
    m.day = *day;
    m.year = *year;
    if (!validDay(m))
        return std::nullopt;
    std::size_t j = words.size() > 3 ? std::size_t(words[3].data() - s.data()) : s.size();
    Moment timed = m;
    if (j < s.size() && timeOfDay(s, j, timed, true))
        if (const std::optional<std::string> offset = zone(s, j)) {
            timed.offset = *offset;
            return written(timed);
        }
    return written(m);
}

} // namespace

std::string collapseSpace(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool nbsp = text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0';
        if (isAsciiSpace(text[i]) || nbsp) {
            space = !out.empty();
            i += nbsp;
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += text[i];
    }
    return out;
}

std::optional<std::string> isoDate(std::string_view text)
{
    const std::string s = collapseSpace(text);
    if (s.size() > 64)
        return std::nullopt;
    if (std::optional<std::string> date = numericDate(s))
        return date;
    return englishDate(s);
}

std::optional<std::string> languageTag(std::string_view text)
{
    std::string s = collapseSpace(text);
    if (const std::size_t comma = s.find_first_of(", ;"); comma != std::string::npos)
        s.resize(comma);
    std::string out;
    std::size_t index = 0;
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find_first_of("-_", start);
        if (end == std::string::npos)
            end = s.size();
        const std::string_view part = std::string_view(s).substr(start, end - start);
        if (part.empty() || part.size() > 8)
            return std::nullopt;
        bool letters = true;
        for (const char c : part) {
            if (!isAlpha(c) && !isDigit(c))
                return std::nullopt;
            letters = letters && isAlpha(c);
        }
        if (index == 0 && (!letters || part.size() < 2 || part.size() == 4))
            return std::nullopt;
        if (index > 0)
            out += '-';
        for (std::size_t k = 0; k < part.size(); ++k) {
            const char lower = base::AsciiLower(part[k]);
            const bool upper = index > 0 && ((part.size() == 2 && letters) || (part.size() == 4 && letters && k == 0));
            out += upper && lower >= 'a' && lower <= 'z' ? char(lower - 'a' + 'A') : lower;
        }
        ++index;
        start = end + 1;
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

bool looksLikeAddress(std::string_view text)
{
    const std::string s = collapseSpace(text);
    if (s.find("://") != std::string::npos || s.starts_with("//") || s.starts_with("@"))
        return true;
    if (s.size() > 4 && base::EqualsNoCase(std::string_view(s).substr(0, 4), "www."))
        return true;
    // "example.com/people/someone": a host and a path, no spaces.
    const std::size_t slash = s.find('/');
    return slash != std::string::npos && s.find(' ') == std::string::npos && s.find('.') < slash;
}

bool sameName(std::string_view a, std::string_view b)
{
    return base::EqualsNoCase(collapseSpace(a), collapseSpace(b));
}

} // namespace quillan::text::metadata
