#pragma once
// The choices of a readable text conversion (convert/readable_converter.h),
// apart from the converter itself so that code holding them (the conversion
// job and its front ends) needs none of the converter's headers.

#include <cstddef>
#include <functional>
#include <string>

namespace quillan {

namespace text::article {
struct ArticleChoice;
}

struct ReadableOptions {
    // The charset parameter of the page's HTTP Content-Type, when it came by
    // address with one; empty otherwise.
    std::string httpCharset;
    // Number the links and list their addresses after the text.
    bool links = false;
    // Break lines longer than this many characters at spaces; 0: never.
    std::size_t width = 0;
    // The page's address when it came by one, against which relative link
    // addresses are made absolute; empty otherwise.
    std::string address;
    // Give only the page's main content (text/article/article_extractor.h):
    // its title, then its article, without menus, sidebars and footers.
    bool article = false;
    // With `article`: told what was chosen once the page has ended, before
    // the conversion returns (for --verbose). Called on the converting thread.
    std::function<void(const text::article::ArticleChoice &)> onArticleChosen = nullptr;
};

} // namespace quillan
