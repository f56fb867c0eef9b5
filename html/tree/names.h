#pragma once
// The element names the tree builder knows by number.
//
// Contract:
// - Every Document interns these names first, in this order, so that a
//   known name's NameId is its KnownName value: comparing an element's name
//   with a known one is one integer comparison, whatever its namespace.
// - The names are the local names as the tree holds them: lower case for
//   HTML and MathML, the adjusted camel case for SVG (foreignObject).
// - knownNameText() answers the text of a known name.

#include <cstdint>
#include <string_view>

namespace quillan::html {

// The list is laid out by hand, a few names to a line.
// clang-format off
#define QUILLAN_HTML_KNOWN_NAMES(X)                                                                                    \
    X(a, "a") X(address, "address") X(annotation_xml, "annotation-xml") X(applet, "applet") X(area, "area")            \
    X(article, "article") X(aside, "aside") X(b, "b") X(base, "base") X(basefont, "basefont") X(bgsound, "bgsound")    \
    X(big, "big") X(blockquote, "blockquote") X(body, "body") X(br, "br") X(button, "button") X(caption, "caption")    \
    X(center, "center") X(code, "code") X(col, "col") X(colgroup, "colgroup") X(dd, "dd") X(desc, "desc")              \
    X(details, "details") X(dialog, "dialog") X(dir, "dir") X(div, "div") X(dl, "dl") X(dt, "dt") X(em, "em")          \
    X(embed, "embed") X(fieldset, "fieldset") X(figcaption, "figcaption") X(figure, "figure") X(font, "font")          \
    X(footer, "footer") X(foreignObject, "foreignObject") X(form, "form") X(frame, "frame") X(frameset, "frameset")    \
    X(h1, "h1") X(h2, "h2") X(h3, "h3") X(h4, "h4") X(h5, "h5") X(h6, "h6") X(head, "head") X(header, "header")        \
    X(hgroup, "hgroup") X(hr, "hr") X(html, "html") X(i, "i") X(iframe, "iframe") X(image, "image") X(img, "img")      \
    X(input, "input") X(keygen, "keygen") X(li, "li") X(link, "link") X(listing, "listing") X(main, "main")            \
    X(malignmark, "malignmark") X(marquee, "marquee") X(math, "math") X(menu, "menu") X(meta, "meta")                  \
    X(mglyph, "mglyph") X(mi, "mi") X(mn, "mn") X(mo, "mo") X(ms, "ms") X(mtext, "mtext") X(nav, "nav")                \
    X(nobr, "nobr") X(noembed, "noembed") X(noframes, "noframes") X(noscript, "noscript") X(object, "object")          \
    X(ol, "ol") X(optgroup, "optgroup") X(option, "option") X(p, "p") X(param, "param") X(plaintext, "plaintext")      \
    X(pre, "pre") X(rb, "rb") X(rp, "rp") X(rt, "rt") X(rtc, "rtc") X(ruby, "ruby") X(s, "s") X(script, "script")      \
    X(search, "search") X(section, "section") X(select, "select") X(selectedcontent, "selectedcontent") X(small, "small") X(source, "source")                \
    X(span, "span") X(strike, "strike") X(strong, "strong") X(style, "style") X(sub, "sub") X(summary, "summary")      \
    X(sup, "sup") X(svg, "svg") X(table, "table") X(tbody, "tbody") X(td, "td") X(template_, "template")               \
    X(textarea, "textarea") X(tfoot, "tfoot") X(th, "th") X(thead, "thead") X(title, "title") X(tr, "tr")              \
    X(track, "track") X(tt, "tt") X(u, "u") X(ul, "ul") X(var, "var") X(wbr, "wbr") X(xmp, "xmp")
// clang-format on

enum KnownName : std::uint32_t {
#define QUILLAN_HTML_NAME_ENUM(id, text) k_##id,
    QUILLAN_HTML_KNOWN_NAMES(QUILLAN_HTML_NAME_ENUM)
#undef QUILLAN_HTML_NAME_ENUM
        kKnownNameCount
};

std::string_view knownNameText(std::uint32_t known);

} // namespace quillan::html
