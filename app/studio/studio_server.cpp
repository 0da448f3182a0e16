/// @file studio_server.cpp
/// @brief The studio's server: token check, the page's files and the route groups.
#include "studio_server.h"

#include "studio_context.h"
#include "studio_page_files.h"

#include <cstring>

namespace {

constexpr char kTokenHeader[] = "X-Nimbra-Token";

const char *ContentType(const std::string &path) {
    const auto ends = [&](const char *ext) {
        const std::size_t n = std::strlen(ext);
        return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
    };
    if (ends(".html")) return "text/html; charset=utf-8";
    if (ends(".js")) return "text/javascript";
    if (ends(".css")) return "text/css";
    return "application/octet-stream";
}

}  // namespace

struct StudioServer::Impl : StudioContext {
    int port = 0;

    Impl(SceneDescription d, StudioOptions o) : StudioContext(std::move(d), std::move(o)) {
        Routes();
    }

    /// The page's own files load without the query: opening the page with the token sets it
    /// as a cookie of this port, which the browser then sends along.
    std::string CookieName() const { return "nimbra_token_" + std::to_string(port); }

    std::string GivenToken(const httplib::Request &req) const {
        if (req.has_header(kTokenHeader)) return req.get_header_value(kTokenHeader);
        if (req.has_param("token")) return req.get_param_value("token");
        const std::string cookies = req.get_header_value("Cookie");
        const std::string key = CookieName() + "=";
        for (std::size_t at = cookies.find(key); at != std::string::npos;
             at = cookies.find(key, at + 1)) {
            if (at > 0 && cookies[at - 1] != ' ' && cookies[at - 1] != ';') continue;
            const std::size_t begin = at + key.size(), end = cookies.find(';', begin);
            return cookies.substr(begin, end == std::string::npos ? end : end - begin);
        }
        return {};
    }

    void Routes() {
        server.set_payload_max_length(options.maxBodyBytes);
        server.set_pre_routing_handler(
            [this](const httplib::Request &req, httplib::Response &res) {
                if (GivenToken(req) == token)
                    return httplib::Server::HandlerResponse::Unhandled;
                res.status = 403;
                res.set_content(ojson{{"error",
                                       "missing or wrong token: open the address that "
                                       "'nimbra studio' printed"}}
                                    .dump(),
                                "application/json");
                return httplib::Server::HandlerResponse::Handled;
            });
        server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
            if (!res.body.empty()) return;
            const std::string text = res.status == 413   ? "the request body is too large"
                                     : res.status == 404 ? "no such address"
                                                         : "the request was refused";
            res.set_content(ojson{{"error", text}}.dump(), "application/json");
        });

        for (std::size_t i = 0; i < kStudioPageFileCount; ++i) {
            const StudioPageFile &file = kStudioPageFiles[i];
            const std::string path = file.path;
            const bool page = path == "/index.html";
            server.Get(page ? "/" : path,
                       [this, file, page](const httplib::Request &, httplib::Response &res) {
                           if (page)
                               res.set_header("Set-Cookie", CookieName() + "=" + token +
                                                                "; Path=/; HttpOnly; "
                                                                "SameSite=Strict");
                           res.set_content(file.data, *file.size, ContentType(file.path));
                       });
        }
        AddSceneRoutes(*this);
        AddPreviewRoutes(*this);
        AddControllerRoutes(*this);
        AddRollupRoutes(*this);
    }
};

StudioServer::StudioServer(SceneDescription desc, StudioOptions options)
    : impl_(std::make_unique<Impl>(std::move(desc), std::move(options))) {}

StudioServer::~StudioServer() = default;

bool StudioServer::Bind() {
    if (impl_->options.port == 0)
        impl_->port = impl_->server.bind_to_any_port(impl_->options.host);
    else if (impl_->server.bind_to_port(impl_->options.host, impl_->options.port))
        impl_->port = impl_->options.port;
    else
        impl_->port = -1;
    return impl_->port > 0;
}

void StudioServer::Run() {
    impl_->server.listen_after_bind();
}

void StudioServer::Stop() {
    impl_->server.stop();
}

int StudioServer::Port() const {
    return impl_->port;
}

const std::string &StudioServer::Token() const {
    return impl_->token;
}

std::string StudioServer::Url() const {
    return "http://" + impl_->options.host + ":" + std::to_string(impl_->port) +
           "/?token=" + impl_->token;
}
