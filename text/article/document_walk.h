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
//   of names and one of attributes are reused); buildPageTree() takes a
//   byte per Document node besides.

//
// buildPageTree() and replayDocument() read the page's light tree
// (text/article/page_tree.h) from a Document without its stream: the tree's
// nodes are made in one walk (PageTree's Keeping::Nodes), each knowing its
// Document node, and the chosen tokens are those of a second walk, each
// with the place in the light tree PageTree::replay() gives it.

#include "html/tokenizer/token_sink.h"
#include "html/tree/document.h"
#include "text/article/page_tree.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quillan::text::article {

void walkDocument(const html::Document &document, html::TokenSink &sink);

// The walk's tokens into `tree` (kept as Keeping::Nodes, before any token):
// its nodes and counts as a stream of them would give. False when the light
// tree's rules depart from the Document's structure (PageTree::departed():
// the tree is then of no use, and the page is to be walked into a tree
// that keeps the stream).
bool buildPageTree(const html::Document &document, PageTree &tree);

// As PageTree::replay(), for a tree buildPageTree() made of `document`
// (`sources`: PageTree::sources()).
void replayDocument(const html::Document &document, const std::vector<std::uint32_t> &sources, html::TokenSink &sink,
                    const std::function<bool(const TokenPlace &)> &want, const std::function<bool()> &done = {});

} // namespace quillan::text::article
