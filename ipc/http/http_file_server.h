#pragma once

#include <cstdint>
#include <string>

class http_request;
class http_response;
class http_static_file;

// Answers requests for paths below a server's file root. A directory asked for with a trailing "/"
// serves its "index.html"; without one it is redirected (301) to that form. A regular file goes
// out whole with an "ETag" of its MD5 digest (304 "Not Modified" for a matching "If-None-Match"),
// as its precompressed ".gz" twin to a client that accepts gzip, and with a "Content-Type" by its
// extension. HEAD gets a GET's headers, the real "Content-Length" included (and, when the answer
// is wrapped in a page, the bytes the page is sized from); any other method 200 without a body. A
// file larger than the size limit gets 500 "File too large", decided from its size before anything
// is read; what lies outside the root, or is neither a file nor a directory, or cannot be read, 403
// "Forbidden".
class http_file_server {
public:
    // real_root: the file root with its symlinks resolved (IPCServer::real_file_root).
    // is_wrapped: the caller shows the answer inside a page of its own (the debug page).
    http_file_server(const std::string& real_root, uint32_t size_limit, bool is_wrapped);

    // `relative`: the normalised path below the root. `url_path`: the path as asked, whose
    // trailing "/" decides between index and redirect. `location_base`: what a redirect puts
    // before the path (the page prefix the client used).
    void serve(const http_request& request, const std::string& relative, const std::string& url_path,
               const std::string& location_base, http_response& response) const;
    // The media type of a lower-case extension; empty for one not known.
    static std::string content_type(const std::string& extension);

private:
    void serve_regular(const http_request& request, const std::string& relative, const http_static_file& file,
                       http_response& response) const;
    // The body of a GET (for HEAD only its length, unless wrapped): the file's, or its ".gz" twin's
    // when the client takes gzip and the twin is a regular file below the root. `content` may
    // already hold the file's bytes; the body is moved out of it. False with the refusal in `response`.
    bool attach_content(const http_request& request, const std::string& relative, const http_static_file& file,
                        std::string& content, http_response& response) const;
    static void redirect(const http_request& request, const std::string& relative, const std::string& location_base,
                         http_response& response);
    // The file's digest, cached or computed; when computed, `content` holds the bytes it was made of.
    static bool load_digest(const http_static_file& file, std::string& digest, std::string& content);

    std::string real_root_;
    uint32_t size_limit_;
    bool is_wrapped_;
};
