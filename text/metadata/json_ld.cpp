#include "text/metadata/json_ld.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

namespace quillan::text::metadata {

namespace {

using json::Value;

// How far a node's type makes it the page's own work: lower is nearer.
enum class Work : std::uint8_t { Article, Other, Page, Site, None };

constexpr std::array<std::string_view, 9> Articles{
    "BlogPosting", "SocialMediaPosting", "LiveBlogPosting", "DiscussionForumPosting", "Report",
    "Posting",     "NewsArticle",        "Article",         "ScholarlyArticle"};
constexpr std::array<std::string_view, 22> OtherWorks{
    "CreativeWork",   "Blog",        "Book",       "Chapter",         "Review",     "Recipe",
    "HowTo",          "Guide",       "Course",     "Episode",         "Movie",      "Dataset",
    "VideoObject",    "AudioObject", "Question",   "Thesis",          "Photograph", "MusicRecording",
    "PodcastEpisode", "Collection",  "Periodical", "PublicationIssue"};

// "Article", "schema:Article", "http://schema.org/Article" -> "Article".
std::string_view bareType(std::string_view type)
{
    const std::size_t cut = type.find_last_of("/:#");
    return cut == std::string_view::npos ? type : type.substr(cut + 1);
}

Work workOfType(std::string_view type)
{
    type = bareType(type);
    if (std::find(Articles.begin(), Articles.end(), type) != Articles.end() || type.ends_with("Article"))
        return Work::Article;
    if (type == "WebSite")
        return Work::Site;
    if (type == "WebPage" || type.ends_with("Page"))
        return Work::Page;
    if (std::find(OtherWorks.begin(), OtherWorks.end(), type) != OtherWorks.end())
        return Work::Other;
    return Work::None;
}

Work workOf(const Value &node)
{
    const Value *type = node.find("@type");
    if (!type)
        return Work::None;
    Work best = Work::None;
    if (type->isString())
        best = workOfType(type->text);
    for (const Value &t : type->items)
        if (t.isString())
            best = std::min(best, workOfType(t.text));
    return best;
}

class Graph {
public:
    explicit Graph(const std::vector<Value> &blocks)
    {
        for (const Value &block : blocks)
            collect(block, 0);
    }

    const std::vector<const Value *> &nodes() const { return nodes_; }

    // The node `value` refers to by {"@id": ...} alone, or `value` itself.
    const Value &resolved(const Value &value) const
    {
        if (!value.isObject() || value.find("@type"))
            return value;
        const Value *id = value.find("@id");
        if (!id || !id->isString())
            return value;
        const auto found = ids_.find(id->text);
        return found == ids_.end() ? value : *found->second;
    }

private:
    void collect(const Value &value, int depth)
    {
        if (depth > 2)
            return;
        if (value.isArray()) {
            for (const Value &item : value.items)
                collect(item, depth + 1);
            return;
        }
        if (!value.isObject())
            return;
        if (const Value *graph = value.find("@graph"))
            collect(*graph, depth + 1);
        nodes_.push_back(&value);
        if (const Value *id = value.find("@id"); id && id->isString() && value.find("@type"))
            ids_.emplace(id->text, &value);
    }

    std::vector<const Value *> nodes_;
    std::map<std::string, const Value *> ids_;
};

// The text of a string, or the "name" of an object (or of what it refers
// to); several names of an array joined by ", ".
std::string nameOf(const Graph &graph, const Value &value)
{
    if (value.isString())
        return value.text;
    if (value.isArray()) {
        std::string joined;
        for (const Value &item : value.items) {
            const std::string name = nameOf(graph, item.isArray() ? Value{} : item);
            if (name.empty() || joined.find(name) != std::string::npos)
                continue;
            if (!joined.empty())
                joined += ", ";
            joined += name;
        }
        return joined;
    }
    const Value *name = graph.resolved(value).find("name");
    return name && name->isString() ? name->text : std::string();
}

// An address given as a string, or as an object's "url", "contentUrl" or
// "@id"; the first of an array.
std::string addressOf(const Graph &graph, const Value &value)
{
    if (value.isString())
        return value.text;
    if (value.isArray())
        return value.items.empty() ? std::string() : addressOf(graph, value.items.front());
    const Value &node = graph.resolved(value);
    for (const std::string_view key : {"url", "contentUrl", "@id"})
        if (const Value *v = node.find(key); v && v->isString())
            return v->text;
    return {};
}

std::string textOf(const Value *value)
{
    return value && value->isString() ? value->text : std::string();
}

void readWork(const Graph &graph, const Value &node, Candidates &out)
{
    constexpr Source S = Source::JsonLd;
    // Some pages give a summary as the headline: the title takes the one
    // the page's <title> agrees with (candidates.h).
    out.add(Field::Title, S, textOf(node.find("headline")));
    out.add(Field::Title, S, textOf(node.find("name")));
    if (const Value *author = node.find("author"))
        out.add(Field::Author, S, nameOf(graph, *author));
    else if (const Value *creator = node.find("creator"))
        out.add(Field::Author, S, nameOf(graph, *creator));
    if (const Value *publisher = node.find("publisher"))
        out.add(Field::Site, S, nameOf(graph, *publisher));
    out.add(Field::Date, S, textOf(node.find("datePublished")));
    out.add(Field::Date, S, textOf(node.find("dateCreated")));
    out.add(Field::Modified, S, textOf(node.find("dateModified")));
    out.add(Field::Description, S, textOf(node.find("description")));
    if (const Value *language = node.find("inLanguage"))
        out.add(Field::Language, S, language->isString() ? language->text : nameOf(graph, *language));
    if (const Value *image = node.find("image"))
        out.add(Field::Image, S, addressOf(graph, *image));
    else if (const Value *thumbnail = node.find("thumbnailUrl"))
        out.add(Field::Image, S, addressOf(graph, *thumbnail));
    if (const Value *url = node.find("url"))
        out.add(Field::Url, S, addressOf(graph, *url));
    if (const Value *page = node.find("mainEntityOfPage"))
        out.add(Field::Url, S, addressOf(graph, *page));
}

} // namespace

void readJsonLd(const std::vector<json::Value> &blocks, Candidates &out)
{
    const Graph graph(blocks);
    std::vector<std::pair<Work, const Value *>> works;
    for (const Value *node : graph.nodes())
        if (const Work work = workOf(*node); work != Work::None)
            works.emplace_back(work, node);
    std::stable_sort(works.begin(), works.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[work, node] : works) {
        if (work == Work::Site)
            out.add(Field::Site, Source::JsonLd, textOf(node->find("name")));
        else
            readWork(graph, *node, out);
    }
}

} // namespace quillan::text::metadata
