#pragma once
// What an element's class and id names and its ARIA role say about its
// content: a weight (positive for the names of main content such as
// "article", "content", "post", negative for boilerplate such as "comment",
// "sidebar", "share", "promo"), and whether the element is unlikely to hold
// the main content at all (navigation, menus, footers, cookie and newsletter
// boxes, ads) unless its names also speak of content; and whether they
// speak of readers' comments.
//
// Names are matched as lower-case parts of the attribute values: "nav"
// matches "main-nav" and "navbar"; short words ("ad", "ads", "tags") match
// only whole words of a name.

#include <cstdint>
#include <string>
#include <string_view>

namespace quillan::text::article {

// What the names say of readers' comments.
enum class CommentHint : std::uint8_t {
    None,
    Comments, // a comment section, or a comment in one ("comments", "disqus")
    Posting,  // the form, link or button that posts or answers one ("respond", "reply")
};

struct NameHints {
    std::int16_t weight = 0; // -50 to +50: 25 for each of class and id
    bool unlikely = false;
    // A dialog or a consent notice (role dialog or alertdialog; names of
    // cookie, consent or GDPR boxes that say nothing of content): never the
    // content, whatever the choice's rules.
    bool dialog = false;
    CommentHint comments = CommentHint::None;
};

NameHints ReadNameHints(std::string_view classes, std::string_view id, std::string_view role);

// What ReadNameHints() reads in the names, for a person: each attribute
// with a finding and the names found in it, each once, with what they say
// ("boilerplate", "content", "for" or "against" the content), as in
// `class sidebar (boilerplate), widget (boilerplate), id main (content)`;
// the role when it says main content or boilerplate (`role "navigation"
// (boilerplate)`). Empty when nothing was found. Slower than
// ReadNameHints(): for the account of a choice.
std::string ExplainNameHints(std::string_view classes, std::string_view id, std::string_view role);

} // namespace quillan::text::article
