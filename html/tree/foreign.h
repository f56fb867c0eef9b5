#pragma once
// The name tables of foreign content (SVG and MathML inside HTML): the case
// the tree gives to SVG element and attribute names that the tokenizer
// lower-cased, MathML's one adjusted attribute, and the attributes that
// belong to the xlink, xml and xmlns namespaces.
//
// Contract: every function takes a lower-case name as the tokenizer gives it
// and answers the adjusted name (the same view when nothing changes).

#include "html/tree/document.h"

#include <string_view>

namespace quillan::html {

std::string_view adjustSvgElementName(std::string_view name);
std::string_view adjustSvgAttributeName(std::string_view name);
std::string_view adjustMathMlAttributeName(std::string_view name);

// For "xlink:href" and the like: the namespace and the local name; for any
// other name AttributeNamespace::None and the name itself.
NewAttribute adjustForeignAttribute(std::string_view name, std::string_view value);

} // namespace quillan::html
