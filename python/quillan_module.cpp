// The module `quillan`: the converter in a Python process. Pages are
// converted with the interpreter's lock released, each in converters of its
// own, so that threads convert side by side.

#include "archive/archive_input.h"
#include "base/fd_io.h"
#include "base/json_string.h"
#include "cli/convert_archives.h"
#include "cli/convert_options.h"
#include "html/encoding/decoder.h"
#include "text/conversion.h"
#include "text/metadata/metadata.h"

#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace quillan::python {

namespace {

// What the module raises, besides Python's own ValueError, TypeError and
// OSError.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct TooLarge : Error {
    using Error::Error;
};
struct ArchiveError : Error {
    using Error::Error;
};

// The pieces a page is fed in, as the command line reads a file.
constexpr std::size_t kPiece = 64 * 1024;

// The value that `name` stands for among `names`; a ValueError that lists
// them for any other.
template <typename Value, std::size_t N>
Value valueOf(const std::string &name, const char *what, const std::pair<const char *, Value> (&names)[N])
{
    std::string list;
    for (std::size_t i = 0; i < N; ++i) {
        if (name == names[i].first)
            return names[i].second;
        list += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + "\"" + names[i].first + "\"";
    }
    throw py::value_error(std::string(what) + " must be " + list + ", not \"" + name + "\"");
}

text::Kind kindOf(const std::string &name)
{
    static constexpr std::pair<const char *, text::Kind> kNames[] = {
        {"article", text::Kind::Article}, {"readable", text::Kind::Readable}, {"stripped", text::Kind::Stripped}};
    return valueOf(name, "kind", kNames);
}

text::Bias biasOf(const std::string &name)
{
    static constexpr std::pair<const char *, text::Bias> kNames[] = {
        {"balanced", text::Bias::Balanced}, {"precision", text::Bias::Precision}, {"recall", text::Bias::Recall}};
    return valueOf(name, "bias", kNames);
}

std::int64_t maxSizeOf(const std::optional<long long> &maxSize)
{
    if (!maxSize)
        return cli::DefaultMaxSize;
    if (*maxSize <= 0)
        throw py::value_error("max_size must be a positive number of bytes");
    return *maxSize;
}

// The conversion asked for by the keyword arguments the functions share.
text::Options textOptions(const std::string &kind, bool markdown, bool links, long long width, bool comments,
                          const std::string &bias)
{
    text::Options options;
    options.kind = kindOf(kind);
    options.bias = biasOf(bias);
    if ((comments || options.bias != text::Bias::Balanced) && options.kind != text::Kind::Article)
        throw py::value_error("comments and bias need kind \"article\"");
    options.comments = comments ? text::Comments::Keep : text::Comments::Drop;
    if (markdown && options.kind == text::Kind::Stripped)
        throw py::value_error("markdown needs kind \"readable\" or \"article\"");
    if (links && options.kind == text::Kind::Stripped)
        throw py::value_error("links needs kind \"readable\" or \"article\"");
    if (width < 0)
        throw py::value_error("width must be 0 (no wrapping) or a positive number of characters");
    if (width > 0 && options.kind == text::Kind::Stripped)
        throw py::value_error("width needs kind \"readable\" or \"article\"");
    options.syntax = markdown ? text::Syntax::Markdown : text::Syntax::Plain;
    options.links = links;
    options.width = std::size_t(width);
    return options;
}

// A page argument's bytes, copied so that the conversion can run without
// the interpreter's lock. A str is taken as decoded text: its UTF-8, with
// the charset UTF-8.
std::string pageBytes(const py::handle &page, text::Options &options, const std::optional<std::string> &charset)
{
    if (PyUnicode_Check(page.ptr())) {
        if (charset)
            throw py::value_error("charset goes with a page given as bytes; a str is decoded text already");
        Py_ssize_t size = 0;
        const char *utf8 = PyUnicode_AsUTF8AndSize(page.ptr(), &size);
        if (!utf8)
            throw py::error_already_set();
        options.httpCharset = "UTF-8";
        return std::string(utf8, std::size_t(size));
    }
    if (!PyObject_CheckBuffer(page.ptr()))
        throw py::type_error(std::string("the page must be bytes or str, not ") + Py_TYPE(page.ptr())->tp_name);
    const py::buffer_info view = py::reinterpret_borrow<py::buffer>(page).request();
    if (view.ndim > 1 || (view.ndim == 1 && view.strides[0] != view.itemsize))
        throw py::type_error("the page must be contiguous bytes");
    if (charset)
        options.httpCharset = *charset;
    return std::string(static_cast<const char *>(view.ptr), std::size_t(view.size * view.itemsize));
}

// Converts `page` into `out`, without the interpreter's lock.
text::Result convertPage(const std::string &page, const text::Options &options, std::int64_t maxSize, std::string &out)
{
    if (page.size() > std::uint64_t(maxSize))
        throw TooLarge("the page's " + std::to_string(page.size()) + " bytes are over max_size (" +
                       std::to_string(maxSize) + " bytes)");
    py::gil_scoped_release unlocked;
    try {
        text::readable::StringSink sink(out);
        const std::unique_ptr<text::Converter> converter = text::makeConverter(options, sink, page.size());
        for (std::size_t at = 0; at < page.size(); at += kPiece)
            converter->feed(std::string_view(page).substr(at, kPiece));
        return converter->finish();
    } catch (const std::length_error &e) {
        throw TooLarge(std::string("the page is too large to convert: ") + e.what());
    } catch (const std::system_error &e) {
        throw Error(std::string("the page could not be converted: ") + e.what());
    }
}

// Text as the JSON objects write it: invalid UTF-8 replaced.
py::str jsonText(std::string_view bytes)
{
    std::string valid;
    valid.reserve(bytes.size());
    base::AppendUtf8Replacing(valid, bytes);
    return py::str(valid);
}

py::object jsonTextOrNone(std::string_view bytes)
{
    if (bytes.empty())
        return py::none();
    return jsonText(bytes);
}

// The stripped text, in the page's own encoding, as Python text.
py::str decodedStripped(const std::string &text, const std::string &encoding)
{
    std::string utf8;
    {
        py::gil_scoped_release unlocked;
        html::Decoder decoder(encoding);
        decoder.decode(text, utf8);
        decoder.finish(utf8);
    }
    return jsonText(utf8);
}

py::str toText(const py::object &page, const std::string &kind, bool markdown, const std::optional<std::string> &url,
               bool links, long long width, const std::optional<std::string> &charset,
               const std::optional<long long> &maxSize, bool comments, const std::string &bias)
{
    text::Options options = textOptions(kind, markdown, links, width, comments, bias);
    if (url)
        options.address = *url;
    // The stripped text keeps the page's bytes: the title's reading tells
    // which encoding they are in.
    if (options.kind == text::Kind::Stripped)
        options.title = text::TitleSearch::Find;
    const std::string bytes = pageBytes(page, options, charset);
    std::string out;
    const text::Result result = convertPage(bytes, options, maxSizeOf(maxSize), out);
    if (options.kind == text::Kind::Stripped)
        return decodedStripped(out, result.textEncoding);
    return jsonText(out);
}

py::dict extract(const py::object &page, const std::optional<std::string> &url, const std::string &kind, bool markdown,
                 bool links, long long width, const std::optional<std::string> &charset,
                 const std::optional<long long> &maxSize, bool comments, const std::string &bias)
{
    text::Options options = textOptions(kind, markdown, links, width, comments, bias);
    if (url)
        options.address = *url;
    options.metadata = text::MetadataSearch::Find;
    const std::string bytes = pageBytes(page, options, charset);
    std::string out;
    const text::Result result = convertPage(bytes, options, maxSizeOf(maxSize), out);
    py::dict fields;
    for (const text::metadata::NamedField &field : text::metadata::kFields)
        fields[py::str(std::string(field.name))] = jsonTextOrNone(result.metadata.*field.member);
    fields["text"] = jsonText(out);
    return fields;
}

// A binary file object read as an archive, the interpreter's lock taken
// for each read. What the object raises is kept, to be raised again once
// the reading has given up.
class FileObjectSource final : public archive::ArchiveSource {
public:
    explicit FileObjectSource(py::object file) : file_(std::move(file)) {}

    std::size_t read(char *out, std::size_t size) override
    {
        py::gil_scoped_acquire locked;
        try {
            const py::object got = file_.attr("read")(size);
            if (got.is_none())
                throw py::type_error("the archive's file object gave None: a blocking binary file is needed");
            if (!PyBytes_Check(got.ptr()) && !PyByteArray_Check(got.ptr()))
                throw py::type_error("the archive's file object must give bytes: open it in binary mode");
            const std::string_view bytes =
                PyBytes_Check(got.ptr())
                    ? std::string_view(PyBytes_AS_STRING(got.ptr()), std::size_t(PyBytes_GET_SIZE(got.ptr())))
                    : std::string_view(PyByteArray_AS_STRING(got.ptr()), std::size_t(PyByteArray_GET_SIZE(got.ptr())));
            if (bytes.size() > size)
                throw py::value_error("the archive's file object gave more bytes than asked for");
            std::memcpy(out, bytes.data(), bytes.size());
            return bytes.size();
        } catch (py::error_already_set &e) {
            error_.emplace(std::move(e));
        } catch (py::builtin_exception &e) {
            e.set_error();
            error_.emplace();
        }
        throw archive::InputFailure{EIO};
    }

    std::optional<std::uint64_t> position() override
    {
        py::gil_scoped_acquire locked;
        try {
            if (!py::hasattr(file_, "seekable") || !file_.attr("seekable")().cast<bool>())
                return std::nullopt;
            return file_.attr("tell")().cast<std::uint64_t>();
        } catch (py::error_already_set &) {
            return std::nullopt;
        } catch (py::cast_error &) {
            return std::nullopt;
        }
    }

    bool seek(std::uint64_t offset) override
    {
        py::gil_scoped_acquire locked;
        try {
            file_.attr("seek")(offset);
            return true;
        } catch (py::error_already_set &) {
            return false;
        }
    }

    // What the file object raised, if anything; call with the lock held.
    std::optional<py::error_already_set> &error() { return error_; }

private:
    py::object file_;
    std::optional<py::error_already_set> error_;
};

// read_warc()'s iterator: the archive's pages, converted one at a time.
class WarcPages {
public:
    WarcPages(const py::object &pathOrFile, const text::Options &options, std::int64_t maxSize)
        : options_(options), maxSize_(maxSize)
    {
        if (PyUnicode_Check(pathOrFile.ptr()) || PyBytes_Check(pathOrFile.ptr()) ||
            py::hasattr(pathOrFile, "__fspath__")) {
            const py::object fsPath = py::module_::import("os").attr("fsencode")(pathOrFile);
            name_ = fsPath.cast<std::string>();
            fd_.reset(::open(name_.c_str(), O_RDONLY | O_CLOEXEC));
            if (!fd_) {
                PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, pathOrFile.ptr());
                throw py::error_already_set();
            }
            ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        } else if (py::hasattr(pathOrFile, "read")) {
            file_.emplace(pathOrFile);
            name_ = py::repr(pathOrFile).cast<std::string>();
        } else {
            throw py::type_error(std::string("read_warc() takes a path or a binary file object, not ") +
                                 Py_TYPE(pathOrFile.ptr())->tp_name);
        }
    }

    py::dict next()
    {
        refuseWhileBusy();
        if (done_)
            throw py::stop_iteration();
        busy_ = true;
        cli::ArchivePage *page = nullptr;
        std::optional<archive::InputFailure> failure;
        std::exception_ptr thrown;
        {
            py::gil_scoped_release unlocked;
            try {
                if (!pages_) {
                    counts_.archives = 1;
                    input_ = fd_ ? std::make_unique<archive::ArchiveInput>(fd_.get())
                                 : std::make_unique<archive::ArchiveInput>(*file_);
                    pages_ = std::make_unique<cli::ArchivePages>(
                        *input_, name_, options_, maxSize_,
                        [this](const std::string &line) { reports_.push_back(line); }, counts_);
                }
                page = pages_->next();
            } catch (const archive::InputFailure &e) {
                failure = e;
            } catch (...) {
                thrown = std::current_exception();
            }
        }
        busy_ = false;
        if (thrown) {
            done_ = true;
            std::rethrow_exception(thrown);
        }
        if (failure) {
            done_ = true;
            if (file_ && file_->error()) {
                std::optional<py::error_already_set> &error = file_->error();
                py::error_already_set raised = std::move(*error);
                error.reset();
                throw raised;
            }
            errno = failure->error;
            PyErr_SetFromErrnoWithFilename(PyExc_OSError, name_.c_str());
            throw py::error_already_set();
        }
        if (!page) {
            done_ = true;
            if (counts_.damaged > 0) {
                std::string message = name_ + ": " + std::to_string(counts_.damaged) + " damaged record" +
                                      (counts_.damaged == 1 ? "" : "s");
                for (const std::string &line : reports_)
                    message += "\n" + line;
                throw ArchiveError(message);
            }
            throw py::stop_iteration();
        }
        return recordOf(*page);
    }

    py::dict counts() const
    {
        refuseWhileBusy();
        const std::pair<const char *, std::uint64_t> fields[] = {
            {"records", counts_.records},    {"converted", counts_.converted}, {"other_type", counts_.otherType},
            {"not_http", counts_.notHttp},   {"not_ok", counts_.notOk},        {"not_html", counts_.notHtml},
            {"too_large", counts_.tooLarge}, {"bad_body", counts_.badBody},    {"damaged", counts_.damaged},
            {"bytes_in", counts_.bytesIn},   {"html_bytes", counts_.htmlBytes}};
        py::dict out;
        for (const auto &[name, value] : fields)
            out[name] = value;
        return out;
    }

    std::vector<std::string> reports() const
    {
        refuseWhileBusy();
        return reports_;
    }

private:
    void refuseWhileBusy() const
    {
        if (busy_)
            throw py::value_error("this archive is being read by another thread");
    }

    // The record as --format jsonl writes it.
    py::dict recordOf(const cli::ArchivePage &page) const
    {
        const archive::TextRecord &r = page.record;
        py::dict meta;
        meta["status"] = r.status ? py::object(py::int_(r.status)) : py::none();
        meta["content_type"] = jsonText(r.contentType);
        meta["charset"] = jsonTextOrNone(r.charset);
        meta["warc_record_id"] = jsonText(r.refersTo);
        for (const auto &[name, value] : r.pageMetadata)
            meta[jsonText(name)] = jsonTextOrNone(value);
        py::dict record;
        record["id"] = jsonText(archive::newRecordId());
        record["url"] = jsonText(r.url);
        record["date"] = jsonText(r.date);
        record["text"] = jsonText(page.text);
        record["metadata"] = meta;
        return record;
    }

    text::Options options_;
    std::int64_t maxSize_;
    std::string name_;
    base::UniqueFd fd_;
    std::optional<FileObjectSource> file_;
    std::unique_ptr<archive::ArchiveInput> input_;
    std::unique_ptr<cli::ArchivePages> pages_;
    cli::ArchiveCounts counts_;
    std::vector<std::string> reports_;
    bool busy_ = false;
    bool done_ = false;
};

std::unique_ptr<WarcPages> readWarc(const py::object &pathOrFile, const std::string &kind, bool markdown, bool metadata,
                                    const std::optional<long long> &maxSize, bool comments, const std::string &bias)
{
    text::Options options = textOptions(kind, markdown, false, 0, comments, bias);
    if (metadata)
        options.metadata = text::MetadataSearch::Find;
    return std::make_unique<WarcPages>(pathOrFile, options, maxSizeOf(maxSize));
}

} // namespace

} // namespace quillan::python

PYBIND11_MODULE(quillan, m)
{
    using namespace quillan::python;
    m.doc() = R"(Web pages into text, in this process: Quillan's converter as a module.

    to_text(page)    the page's text: its article (default), its readable
                     text, or its tags stripped
    extract(page)    the page's metadata and text as one dict, as
                     `quillan-convert --format json` writes them
    read_warc(path)  the HTML pages of a web archive (WARC), converted one
                     record at a time, as `quillan-convert --warc --format
                     jsonl` writes them

A page is bytes (decoded as a browser decodes it: byte-order mark, the
charset given, the page's <meta>, else UTF-8 or windows-1252) or str
(decoded text). The work is done without the interpreter's lock, so
threads convert pages side by side.

Errors: quillan.Error, and its kinds quillan.TooLarge (a page over
max_size) and quillan.ArchiveError (a damaged archive); ValueError and
TypeError for arguments that do not fit.)";

    py::exception<Error> &error = py::register_exception<Error>(m, "Error");
    error.attr("__doc__") = "What went wrong converting a page or reading an archive.";
    py::register_exception<TooLarge>(m, "TooLarge", error.ptr()).attr("__doc__") =
        "A page over max_size (default 256 MiB, as quillan-convert's --max-size), or too large to convert.";
    py::register_exception<ArchiveError>(m, "ArchiveError", error.ptr()).attr("__doc__") =
        "A web archive with damaged records, raised once its sound records were all given: the message names "
        "each damaged record's offset, reason and the bytes skipped.";

    m.def("_to_text", &toText, py::arg("html"), py::kw_only(), py::arg("kind") = "article", py::arg("markdown") = false,
          py::arg("url") = py::none(), py::arg("links") = false, py::arg("width") = 0, py::arg("charset") = py::none(),
          py::arg("max_size") = py::none(), py::arg("comments") = false, py::arg("bias") = "balanced",
          R"(The text of a page, as quillan-convert writes it.

html: the page, bytes (decoded as a browser does; `charset` is the HTTP
    charset it came with, if any) or str (decoded text, taken as UTF-8).
kind: "article" (the main content, its title first), "readable" (everything
    a reader sees) or "stripped" (the tags stripped, line by line, decoded
    from the page's own encoding; CR LF line ends).
markdown: write the readable kinds as Markdown.
url: the page's address: links and the metadata's addresses are made
    absolute against it.
links: number the links and list their addresses after the text.
width: break lines longer than this many characters (0: never).
max_size: the largest page taken, in bytes (default 256 MiB).
comments: kind "article": keep the readers' comments, after the article as
    they come in the page (not their forms), as --comments does.
bias: kind "article": "balanced" (the default), "precision" (a shorter,
    cleaner text) or "recall" (a fuller one), as --precision and --recall.

Raises TooLarge past max_size, ValueError or TypeError for arguments that
do not fit.)");

    m.def("_extract", &extract, py::arg("html"), py::kw_only(), py::arg("url") = py::none(),
          py::arg("kind") = "article", py::arg("markdown") = false, py::arg("links") = false, py::arg("width") = 0,
          py::arg("charset") = py::none(), py::arg("max_size") = py::none(), py::arg("comments") = false,
          py::arg("bias") = "balanced",
          R"(The page's metadata and text, as `quillan-convert --format json` writes them.

A dict of "title", "author", "date", "modified", "site", "language",
"description", "url", "image" (None where the page gives nothing) and
"text". The arguments are to_text()'s. The text holds U+FFFD where the
stripped text's bytes are not UTF-8, as the JSON does.)");

    py::class_<WarcPages>(m, "WarcPages", R"(The converted pages of one web archive, one at a time (read_warc()).)")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &WarcPages::next)
        .def_property_readonly("counts", &WarcPages::counts,
                               "The records read so far, by what became of them, as quillan-convert --summary "
                               "counts them.")
        .def_property_readonly("reports", &WarcPages::reports,
                               "One line for each damaged record and each body that could not be decoded.");

    m.def("_read_warc", &readWarc, py::arg("path_or_file"), py::kw_only(), py::arg("kind") = "article",
          py::arg("markdown") = false, py::arg("metadata") = false, py::arg("max_size") = py::none(),
          py::arg("comments") = false, py::arg("bias") = "balanced",
          R"(The HTML pages of a web archive, converted one record at a time.

path_or_file: a path to a WARC file (plain or gzip), or a binary file
    object to read it from.
Yields for every 2xx HTML response (and HTML resource) record a dict as a
line of `quillan-convert --warc --format jsonl` holds it: "id", "url",
"date", "text", "metadata" (its "status", "content_type", "charset",
"warc_record_id" and, with metadata=True, the page's own fields). Records
of other kinds, and bodies decoding past max_size (default 256 MiB), are
skipped and counted in the iterator's `counts`. Memory stays bounded
whatever the archive's size. kind, markdown, comments and bias are
to_text()'s.

A damaged record is skipped and the reading goes on; once every sound
record was given, ArchiveError names the damage. OSError when the archive
cannot be read.)");

    // The functions as Python sees them: plain Python functions around the
    // ones above, so that they pickle by name (as Dask and multiprocessing
    // send them to other processes) and show their signatures.
    py::exec(R"(
def to_text(html, *, kind="article", markdown=False, url=None, links=False, width=0, charset=None, max_size=None,
            comments=False, bias="balanced"):
    return _to_text(html, kind=kind, markdown=markdown, url=url, links=links, width=width, charset=charset,
                    max_size=max_size, comments=comments, bias=bias)

def extract(html, *, url=None, kind="article", markdown=False, links=False, width=0, charset=None, max_size=None,
            comments=False, bias="balanced"):
    return _extract(html, url=url, kind=kind, markdown=markdown, links=links, width=width, charset=charset,
                    max_size=max_size, comments=comments, bias=bias)

def read_warc(path_or_file, *, kind="article", markdown=False, metadata=False, max_size=None, comments=False,
              bias="balanced"):
    return _read_warc(path_or_file, kind=kind, markdown=markdown, metadata=metadata, max_size=max_size,
                      comments=comments, bias=bias)

for _public in (to_text, extract, read_warc):
    _public.__doc__ = globals()["_" + _public.__name__].__doc__.split("\n", 1)[1].lstrip("\n")
del _public
)",
             m.attr("__dict__"));
}
