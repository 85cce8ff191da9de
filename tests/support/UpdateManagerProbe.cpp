#include "tests/support/UpdateManagerProbe.h"

#include "tests/support/WaitUntil.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <sstream>
#include <stdexcept>

using namespace Kelvora::UpdateManager;
namespace pt = boost::property_tree;

std::string ReleaseAnswer::Json() const
{
    pt::ptree release;
    const std::pair<const char*, const std::string*> fields[] = {
        {"product_sku", &sku},      {"name", &name},
        {"permalink", &permalink},  {"version", &version},
        {"size", &size},            {"checksum", &checksum},
        {"platform_min_version", &platformMin}, {"platform_max_version", &platformMax},
    };
    for (const auto& field : fields) {
        if (!field.second->empty())
            release.put(field.first, *field.second);
    }
    release.put("resources_site_link", "http://127.0.0.1/products/" + sku);
    pt::ptree resources;
    resources.push_back(std::make_pair("", release));
    pt::ptree answer;
    answer.put("total", 1);
    answer.add_child("resources", resources);
    std::ostringstream text;
    pt::write_json(text, answer);
    return text.str();
}

std::string ResourcesPath(const std::string& sku, const std::string& type)
{
    return "/api/resources/" + type + "/" + sku + "/windows/latest";
}

UpdateEventRecorder::UpdateEventRecorder(UpdateManager& manager) : manager(manager)
{
    manager.Kelvora::EventSource<ProductChangedEvent>::AddListener(this);
    manager.Kelvora::EventSource<ProductListChangedEvent>::AddListener(this);
    manager.Kelvora::EventSource<DownloadProgressEvent>::AddListener(this);
    manager.Kelvora::EventSource<InstallFinishedEvent>::AddListener(this);
}

UpdateEventRecorder::~UpdateEventRecorder()
{
    manager.Kelvora::EventSource<ProductChangedEvent>::RemoveListener(this);
    manager.Kelvora::EventSource<ProductListChangedEvent>::RemoveListener(this);
    manager.Kelvora::EventSource<DownloadProgressEvent>::RemoveListener(this);
    manager.Kelvora::EventSource<InstallFinishedEvent>::RemoveListener(this);
}

void UpdateEventRecorder::OnEvent(const ProductChangedEvent& event)
{
    events.push_back("changed " + event.sku + "/" + event.type);
    if (onChanged)
        onChanged(event);
}

void UpdateEventRecorder::OnEvent(const ProductListChangedEvent&)
{
    events.push_back("list");
}

void UpdateEventRecorder::OnEvent(const DownloadProgressEvent& event)
{
    events.push_back("progress " + event.sku + "/" + event.type + (event.finished ? " finished" : ""));
    progress.push_back(event);
}

void UpdateEventRecorder::OnEvent(const InstallFinishedEvent& event)
{
    events.push_back("installed " + event.sku + "/" + event.type + (event.success ? " true" : " false"));
}

std::vector<std::string> UpdateEventRecorder::Events(bool withProgress) const
{
    std::vector<std::string> result;
    for (const std::string& event : events) {
        if (withProgress || event.compare(0, 9, "progress ") != 0)
            result.push_back(event);
    }
    return result;
}

void UpdateEventRecorder::Clear()
{
    events.clear();
    progress.clear();
}

bool PollUntil(UpdateManager& manager, const std::function<bool()>& condition, int limitSeconds)
{
    return WaitUntil(
        [&] {
            manager.UpdateStates();
            manager.CheckInstallFinished();
            return condition();
        },
        limitSeconds);
}

std::string StatusOf(UpdateManager& manager, const ProductKey& key)
{
    try {
        return ProductStatusToString(manager.GetProduct(key).installer.GetStatus());
    } catch (const std::out_of_range&) {
        return "no record";
    }
}
