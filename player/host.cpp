#include "player/host.h"

#include <dlfcn.h>

#include <cstring>
#include <utility>
#include <variant>

#include "host/string_value.h"

namespace player {

// One service class: host objects and plug-in factories, in registration order.
struct Host::Registration {
    GUID serviceClass;
    std::vector<std::variant<service_base*, service_factory_base*>> instances;
};

struct Host::Plugin {
    std::string file;
    void* module = nullptr;
    foobar2000_client* client = nullptr;
    ~Plugin() {
        if (client)
            client->servicesInitialised(false);
        if (module)
            dlclose(module);
    }
};

class Host::Api final : public HostApi {
public:
    explicit Api(Host& host) : host_(host) {}

    service_class_ref findServiceClass(const GUID& classGuid) override {
        for (size_t i = 0; i < host_.classes_.size(); ++i) {
            if (host_.classes_[i]->serviceClass == classGuid)
                return i + 1;
        }
        return 0;
    }
    size_t serviceCount(service_class_ref cls) override {
        Registration* r = find(cls);
        return r ? r->instances.size() : 0;
    }
    bool createService(service_class_ref cls, size_t n, service_base*& out) override {
        out = nullptr;
        Registration* r = find(cls);
        if (!r || n >= r->instances.size())
            return false;
        if (auto* object = std::get_if<service_base*>(&r->instances[n])) {
            out = *object;
            out->service_add_ref();
            return true;
        }
        return std::get<service_factory_base*>(r->instances[n])->createInstance(out) && out;
    }
    WindowHandle mainWindow() override {
        host_.main_.check("mainWindow");
        return &host_;
    }

private:
    Registration* find(service_class_ref cls) {
        return cls >= 1 && cls <= host_.classes_.size() ? host_.classes_[cls - 1].get() : nullptr;
    }
    Host& host_;
};

Host::Host(Options options)
    : main_(violations_),
      database_(violations_),
      trackContext_{database_, violations_},
      tracks_(std::make_unique<TrackStore>(trackContext_)),
      playlists_(main_, violations_),
      playback_(main_, playlists_),
      runner_(main_, violations_),
      api_(std::make_unique<Api>(*this)) {
    registerService(TaskRunner::class_guid, &runner_);
    registerService(PlaybackService::class_guid, &playback_);
    registerService(PlaylistService::class_guid, &playlists_);
    registerService(LibraryService::class_guid, &library_);
    registerService(TrackDatabase::class_guid, &database_);
    if (options.console)
        registerService(ConsoleReceiver::class_guid, &console_);
    if (options.popups)
        registerService(PopupService::class_guid, &popups_);
}

Host::~Host() {
    // Playlists hold track references and plug-ins hold services: both go before the tracks.
    playlists_.all().clear();
    plugins_.clear();
}

Track& Host::addTrack(const TrackRecord& record) {
    library_.reserve(1);
    Track& t = tracks_->add(record);
    library_.add(&t);
    return t;
}

void Host::reserveTracks(size_t tracks) {
    tracks_->reserve(tracks);
    library_.reserve(tracks);
}

Track& Host::addTrack(std::string_view path, const TrackFields& fields) {
    return addTrack(TrackRecord(path, fields));
}

Track& Host::addStrayTrack(std::string_view path) {
    TrackFields fields;
    fields.unreadable = true;
    return addStrayTrack(path, fields);
}

Track& Host::addStrayTrack(std::string_view path, const TrackFields& fields) {
    return tracks_->add(TrackRecord(path, fields));
}

Track* Host::findTrack(std::string_view path) const {
    return tracks_->find(path);
}

Host::LibraryBuild Host::newLibrary() const {
    return LibraryBuild(trackContext_);
}

void Host::replaceLibrary(LibraryBuild&& build) {
    main_.check("replaceLibrary");
    size_t referenced = 0;
    for (size_t i = 0; i < tracks_->size(); ++i)
        referenced += tracks_->at(i).references() > 0;
    if (referenced > 0) {
        violations_.report("replaceLibrary while " + std::to_string(referenced) +
                           " tracks are still referenced");
        retired_.push_back(std::move(tracks_));
    }
    tracks_ = std::move(build.tracks_);
    build.tracks_ = std::make_unique<TrackStore>(trackContext_);
    library_.replace(std::exchange(build.library_, {}));
}

Track& Host::LibraryBuild::addTrack(const TrackRecord& record) {
    Track& t = tracks_->add(record);
    library_.push_back(&t);
    return t;
}

void Host::LibraryBuild::reserveTracks(size_t tracks) {
    tracks_->reserve(tracks);
    library_.reserve(library_.size() + tracks);
}

Host::Registration& Host::registration(const GUID& serviceClass) {
    service_class_ref cls = api_->findServiceClass(serviceClass);
    if (!cls) {
        classes_.push_back(std::make_unique<Registration>(Registration{serviceClass, {}}));
        cls = classes_.size();
    }
    return *classes_[cls - 1];
}

void Host::registerService(const GUID& serviceClass, service_base* service) {
    registration(serviceClass).instances.emplace_back(service);
}

HostApi& Host::api() {
    return *api_;
}

void Host::loadPlugin(const std::string& file) {
    auto plugin = std::make_unique<Plugin>();
    plugin->file = file;
    plugin->module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!plugin->module) {
        const char* why = dlerror();
        throw PluginError("cannot load plug-in " + file + ": " + (why ? why : "unknown error"));
    }
    auto entry =
        reinterpret_cast<foobar2000_get_interface_t>(dlsym(plugin->module, client_export_name));
    if (!entry)
        throw PluginError(file + " has no " + client_export_name + " export");
    foobar2000_client* client = entry(api_.get(), plugin->module);
    if (!client)
        throw PluginError(file + " returned no client record");
    uint32_t version = client->interfaceVersion();
    if (version != foobar2000_client::interface_version) {
        throw PluginError(file + " speaks interface version " + std::to_string(version) +
                          ", the host speaks " +
                          std::to_string(foobar2000_client::interface_version));
    }
    plugin->client = client;
    std::string fileName = file.substr(file.find_last_of('/') + 1);
    client->setLibraryPath(file.c_str(), fileName.c_str());
    client->servicesInitialised(true);
    for (service_factory_base* f = client->factoryList(); f; f = f->next())
        registration(f->serviceClass()).instances.emplace_back(f);
    plugins_.push_back(std::move(plugin));
}

foobar2000_client& Host::client(size_t plugin) const {
    return *plugins_.at(plugin)->client;
}

namespace {

metadb_handle_list toList(const std::vector<Track*>& tracks) {
    metadb_handle_list list;
    for (Track* t : tracks)
        list.append(t);
    return list;
}

// Visits every item of every registered command set; stops when `visit` answers true.
template <class F>
void forEachItem(HostApi& api, F&& visit) {
    service_class_ref cls = api.findServiceClass(contextmenu_item::class_guid);
    for (size_t n = 0; cls && n < api.serviceCount(cls); ++n) {
        service_base* base = nullptr;
        if (!api.createService(cls, n, base))
            continue;
        auto set = service_ptr<contextmenu_item>::adopt(static_cast<contextmenu_item*>(base));
        for (size_t i = 0; i < set->itemCount(); ++i) {
            auto node = service_ptr<contextmenu_item_node>::adopt(set->makeNode(i));
            if (node && visit(*set, i, *node))
                return;
        }
    }
}

}  // namespace

std::vector<MenuEntry> Host::contextMenu(const std::vector<Track*>& tracks, const GUID& caller) {
    main_.check("contextMenu");
    metadb_handle_list list = toList(tracks);
    std::vector<MenuEntry> menu;
    forEachItem(*api_, [&](contextmenu_item& set, size_t i, contextmenu_item_node& node) {
        MenuEntry e;
        string_value name, path, description, display;
        set.itemName(i, name);
        set.itemDefaultPath(i, path);
        set.itemDescription(i, description);
        uint32_t flags = 0;
        e.shown = node.getDisplayData(display, flags, list, caller);
        e.name = name.value;
        e.path = path.value;
        e.description = description.value;
        e.text = e.shown ? display.value : "";
        e.guid = set.itemGuid(i);
        e.state = set.enabledState(i);
        menu.push_back(std::move(e));
        return false;
    });
    return menu;
}

bool Host::runMenuItem(const std::string& name, const std::vector<Track*>& tracks,
                       const GUID& caller) {
    main_.check("runMenuItem");
    metadb_handle_list list = toList(tracks);
    bool ran = false;
    forEachItem(*api_, [&](contextmenu_item& set, size_t i, contextmenu_item_node& node) {
        string_value itemName, display;
        set.itemName(i, itemName);
        uint32_t flags = 0;
        if (itemName.value != name || !node.getDisplayData(display, flags, list, caller)) {
            return false;
        }
        node.execute(list, caller);
        ran = true;
        return true;
    });
    return ran;
}

}  // namespace player
