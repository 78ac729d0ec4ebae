#include "ipc/http/http_file_server.h"

#include <optional>
#include <utility>

#include "ipc/base/ipc_string.h"
#include "ipc/base/md5.h"
#include "ipc/http/http_request.h"
#include "ipc/http/http_response.h"
#include "ipc/http/http_static_file.h"
#include "ipc/http/xhr_digest_cache.h"

namespace {

// Missing and refused files are answered here; true when the kind was one of them.
bool refuse_unusable(http_static_file::Kind kind, http_response& response) {
    if (kind == http_static_file::Kind::kMissing) {
        response.set_status(404, "Not Found");
    } else if (kind == http_static_file::Kind::kRefused) {
        response.set_status(403, "Forbidden");
    } else {
        return false;
    }
    return true;
}

std::string type_of(const std::string& relative) {
    const size_t dot = relative.rfind('.');
    if (dot == std::string::npos || dot + 1 == relative.size()) return {};
    return http_file_server::content_type(ipc_to_lower(relative.substr(dot + 1)));
}

bool has_control_bytes(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

http_file_server::http_file_server(const std::string& real_root, uint32_t size_limit, bool is_wrapped)
    : real_root_(real_root), size_limit_(size_limit), is_wrapped_(is_wrapped) {}

std::string http_file_server::content_type(const std::string& extension) {
    struct Type {
        const char* extension;
        const char* type;
    };
    static const Type kTypes[] = {
        {"jpg", "image/jpeg"},    {"jpeg", "image/jpeg"}, {"png", "image/png"}, {"js", "text/javascript"},
        {"svg", "image/svg+xml"}, {"css", "text/css"},    {"htm", "text/html"}, {"html", "text/html"},
    };
    for (const Type& type : kTypes) {
        if (extension == type.extension) return type.type;
    }
    return {};
}

void http_file_server::serve(const http_request& request, const std::string& relative, const std::string& url_path,
                             const std::string& location_base, http_response& response) const {
    const http_static_file file(real_root_, relative);
    if (refuse_unusable(file.kind(), response)) return;
    if (file.kind() == http_static_file::Kind::kRegular) {
        serve_regular(request, relative, file, response);
    } else if (url_path.empty() || url_path.back() != '/') {
        redirect(request, relative, location_base, response);
    } else {
        const std::string index = relative.empty() ? "index.html" : relative + "/index.html";
        const http_static_file index_file(real_root_, index);
        if (refuse_unusable(index_file.kind(), response)) return;
        if (index_file.kind() == http_static_file::Kind::kDirectory) {
            response.set_status(403, "Forbidden");
        } else {
            serve_regular(request, index, index_file, response);
        }
    }
}

void http_file_server::redirect(const http_request& request, const std::string& relative,
                                const std::string& location_base, http_response& response) {
    const std::string host = request.header("host");
    if (has_control_bytes(host)) {
        response.set_status(400, "Bad Request");
        return;
    }
    const std::string path = relative.empty() ? std::string() : "/" + ipc_url_encode(relative, false);
    response.add_header("Location", "http://" + host + location_base + path + "/");
    response.set_status(301, "Moved Permanently");
}

void http_file_server::serve_regular(const http_request& request, const std::string& relative,
                                     const http_static_file& file, http_response& response) const {
    if (file.size() > size_limit_) {
        response.set_status(500, "File too large");
        return;
    }
    std::string digest;
    std::string content;
    if (!load_digest(file, digest, content)) {
        response.set_status(403, "Forbidden");
        return;
    }
    if (request.header_count("if-none-match") != 0 && request.header("if-none-match") == digest) {
        response.set_status(304, "Not Modified");
        return;
    }
    response.add_header("ETag", digest);
    if (request.method() != "GET" && request.method() != "HEAD") {
        response.set_status(200, "OK");
        return;
    }
    if (!attach_content(request, relative, file, content, response)) return;
    const std::string type = type_of(relative);
    if (!type.empty()) response.add_header("Content-Type", type);
    response.set_status(200, "OK");
}

bool http_file_server::attach_content(const http_request& request, const std::string& relative,
                                      const http_static_file& file, std::string& content,
                                      http_response& response) const {
    std::optional<http_static_file> twin;
    if (request.header("accept-encoding").find("gzip") != std::string::npos) twin.emplace(real_root_, relative + ".gz");
    const bool is_twin_sent = twin && twin->kind() == http_static_file::Kind::kRegular;
    const http_static_file& sent = is_twin_sent ? *twin : file;
    if (sent.size() > size_limit_) {
        response.set_status(500, "File too large");
        return false;
    }
    // A wrapping page's length depends on the bytes it shows; HEAD's answer is printed without them.
    if (request.method() == "HEAD" && !is_wrapped_) {
        response.replace_header("Content-Length", ipc_uint_to_string(static_cast<uint32_t>(sent.size())));
    } else if ((is_twin_sent || content.size() != file.size()) && !sent.read(content)) {
        response.set_status(403, "Forbidden");
        return false;
    } else {
        response.set_body(std::move(content));
    }
    if (is_twin_sent) response.add_header("Content-Encoding", "gzip");
    return true;
}

bool http_file_server::load_digest(const http_static_file& file, std::string& digest, std::string& content) {
    xhr_digest_cache& cache = xhr_digest_cache::instance();
    if (cache.find(file.real_path(), file.modified_ns(), file.size(), digest)) return true;
    if (!file.read(content)) return false;
    digest = ipc_md5_hex(content);
    cache.store(file.real_path(), file.modified_ns(), file.size(), digest);
    return true;
}
