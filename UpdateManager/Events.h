// The four event records that the update manager raises; delivered by constant reference.
#pragma once

#include "UpdateManager/ProductKey.h"

#include <string>

namespace Kelvora {
namespace UpdateManager {

// A record was created, or a product's status changed (or stays "install complete").
struct ProductChangedEvent
{
    explicit ProductChangedEvent(const ProductKey& key) : sku(key.first), type(key.second) {}
    std::string sku;
    std::string type;
};

// A download is running or has just been verified.
struct DownloadProgressEvent
{
    explicit DownloadProgressEvent(const ProductKey& key) : sku(key.first), type(key.second) {}
    std::string sku;
    std::string type;
    double progress = 0.0;
    bool finished = false;
};

// An installation ended.
struct InstallFinishedEvent
{
    InstallFinishedEvent(const ProductKey& key, bool success) : sku(key.first), type(key.second), success(success) {}
    std::string sku;
    std::string type;
    bool success;
};

// Raised at the end of every refresh of the records.
struct ProductListChangedEvent
{
};

} // namespace UpdateManager
} // namespace Kelvora
