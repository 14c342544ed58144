#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Actions/ExtensionCatalog.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// The catalog the library shows: the built-in one, merged with the last good download
// kept in the cache file. A refresh downloads the remote catalog and, when it decodes,
// replaces the cache with it; nothing else ever writes or deletes the cache.
struct ExtensionCatalogStore {
    // The bytes at a URL, or why there are none. Blocking; called off the main thread.
    using Fetch = std::function<Result<std::string, std::string>(const std::string& url)>;

    static constexpr std::string_view cacheFileName = "extensions-cache.json";
    static constexpr double fetchTimeoutSeconds = 8;
    static constexpr std::string_view userAgent = "Pivorel";
    // No catalog comes near this (thousands of presets); a larger download or cache is
    // refused, since a parsed document takes many times its size in memory.
    static constexpr std::size_t maxCatalogBytes = 1u << 20;

    std::filesystem::path cacheURL = defaultCacheURL();
    Fetch fetch = networkFetch;
    std::string remoteURL = std::string(ExtensionCatalog::remoteURL);

    // extensions-cache.json in the support directory.
    static std::filesystem::path defaultCacheURL();

    // One GET that bypasses caches, with the "Pivorel" User-Agent and an 8-second limit;
    // only a 200 reply counts.
    static Result<std::string, std::string> networkFetch(const std::string& url);

    // The built-in catalog merged with the cache; the built-in one alone when the cache is
    // missing or does not decode. Reads only.
    ExtensionCatalog current() const;

    // Downloads the remote catalog; when it decodes, writes the downloaded bytes to the
    // cache (atomically; a failed write is ignored) and returns it merged over the built-in
    // one. Nothing (and the cache untouched) when the download fails or does not decode.
    // Blocking: call it off the main thread.
    std::optional<ExtensionCatalog> refresh() const;
};

}  // namespace pivorel
