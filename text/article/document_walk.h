#pragma once
// A Document read back as tokens: what a tokenizer would have handed on had
// the page been written as the tree says.
//
// Contract:
// - walkDocument() hands `sink` the Document's nodes in tree order: for an
//   element its start tag (its attributes in order) and, after its
//   children, its end tag; for a Text node its characters. An HTML void
//   element (br, img, input, ...) gets no end tag; a foreign (SVG, MathML)
//   element without children is one self-closing start tag. A pre,
//   listing or textarea start tag is followed by a line break, which a
//   reader of the tokens drops as a parser does (the text in the tree had
//   its own first line break dropped already).
// - Names are lower case, as the tokenizer gives them (SVG's adjusted
//   names such as foreignObject and viewBox included); a namespaced foreign
//   attribute has its prefix again (xlink:href, xml:lang, xmlns:xlink).
//   An HTML element's tags carry its known name (html::Tag::known), so that
//   a reader needs no search by name; a foreign one's do not.
// - Comments, the doctype, template contents and the text of HTML script
//   elements (scripting is off: nothing shows or reads it) are not handed
//   on; a template or script element is a start tag and an end tag. sink.endOfFile() is not
//   called: the caller ends the page.
// - No recursion; no allocation per node beyond the first few (one buffer
//   of names and one of attributes are reused).

#include "html/tokenizer/token_sink.h"
#include "html/tree/document.h"

namespace quillan::text::article {

void walkDocument(const html::Document &document, html::TokenSink &sink);

} // namespace quillan::text::article
