// mount_fuse.cpp -- caskw mount: an archive or a whole client served as a
// read-only file system through FUSE 3, and caskw unmount. Built where
// libfuse3 is (Linux); folders and files with their real sizes, names as
// extraction writes them, contents decoded on demand and kept in a bounded
// cache, the least recently used leaving first.
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fuse3/fuse.h>
#include <fuse3/fuse_lowlevel.h>
#include <spawn.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "archive_io.h"
#include "client_view.h"
#include "commands.h"
#include "errors.h"
#include "names.h"
#include "output.h"

extern char** environ;

namespace caskw {

namespace {

// A file or folder of the mounted tree.
struct Node {
    bool folder = false;
    uint32_t name = 0;  // the view's name number, for a file
    uint32_t size = 0;
    std::map<std::string, uint32_t> children;  // by file name, for a folder
};

// Decoded contents in pieces of kPiece bytes (an entry up to that size is
// one piece), keyed by name number and piece, the least recently used
// dropped first once their bytes pass the budget. A large entry is decoded
// whole when a piece of it is missing, and the pieces from the one read
// on are kept, as many as the budget holds: a file read from start to end
// is decoded about once per budget's worth of it, never once per read.
constexpr uint32_t kPiece = 1 << 20;

struct Cache {
    uint64_t budget = 0;
    uint64_t used = 0;
    std::list<uint64_t> order;  // most recent first
    struct Kept {
        Content whole;                   // an entry of one piece: the engine's block
        std::unique_ptr<uint8_t[]> own;  // a piece of a larger one: copied out
        uint32_t size = 0;               // of the piece
        std::list<uint64_t>::iterator at;
        const uint8_t* Bytes() const { return whole ? whole.get() : own.get(); }
    };
    std::unordered_map<uint64_t, Kept> kept;
};

uint64_t PieceKey(uint32_t name, uint32_t piece) {
    return uint64_t{name} << 32 | piece;
}

struct Mounted {
    Client view;
    std::vector<Node> nodes;  // nodes[0] is the root
    Cache cache;
    std::mutex lock;  // the engine and the cache are one thread's at a time
    time_t time = 0;
};

Mounted* State() {
    return static_cast<Mounted*>(fuse_get_context()->private_data);
}

// The name's path as extraction writes it: UTF-8, %XX for bytes that do not
// convert, components split at backslashes.
std::vector<std::string> PathOf(const char* name) {
    std::vector<std::string> parts;
    wchar_t* wide = GrfFileName(name);
    std::string path = wide ? WideToUtf8(wide) : std::string();
    GrfFreeBuffer(wide);
    for (size_t at = 0; at <= path.size();) {
        size_t end = path.find('\\', at);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(at, end - at);
        if (!part.empty() && part != "." && part != "..") parts.push_back(part);
        at = end + 1;
    }
    return parts;
}

void BuildTree(Mounted* m) {
    m->nodes.assign(1, Node{});
    m->nodes[0].folder = true;
    for (uint32_t n = 0; n < m->view->nameCount; ++n) {
        const GrfEntry& entry = Winner(m->view.get(), n);
        std::vector<std::string> parts = PathOf(entry.name);
        if (parts.empty()) continue;
        uint32_t at = 0;
        bool clash = false;
        for (size_t i = 0; i + 1 < parts.size() && !clash; ++i) {
            auto found = m->nodes[at].children.find(parts[i]);
            if (found == m->nodes[at].children.end()) {
                uint32_t made = static_cast<uint32_t>(m->nodes.size());
                m->nodes[at].children[parts[i]] = made;
                m->nodes.push_back(Node{});
                m->nodes[made].folder = true;
                at = made;
            } else {
                at = found->second;
                clash = !m->nodes[at].folder;  // a file has this folder's name
            }
        }
        // A name another name's folder (or file) already takes stays out.
        if (clash || m->nodes[at].children.count(parts.back())) continue;
        uint32_t made = static_cast<uint32_t>(m->nodes.size());
        m->nodes[at].children[parts.back()] = made;
        Node file;
        file.name = n;
        file.size = entry.realSize;
        m->nodes.push_back(file);
    }
}

const Node* Find(Mounted* m, const char* path) {
    uint32_t at = 0;
    std::string p = path;
    for (size_t start = 1; start <= p.size();) {
        size_t end = p.find('/', start);
        if (end == std::string::npos) end = p.size();
        if (end > start) {
            if (!m->nodes[at].folder) return nullptr;
            auto found = m->nodes[at].children.find(p.substr(start, end - start));
            if (found == m->nodes[at].children.end()) return nullptr;
            at = found->second;
        }
        start = end + 1;
    }
    return &m->nodes[at];
}

void StatOf(const Mounted* m, const Node& node, struct stat* st) {
    memset(st, 0, sizeof *st);
    st->st_mode = node.folder ? S_IFDIR | 0555 : S_IFREG | 0444;
    st->st_nlink = node.folder ? 2 : 1;
    st->st_size = node.size;
    st->st_uid = getuid();
    st->st_gid = getgid();
    st->st_mtime = st->st_atime = st->st_ctime = m->time;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    Mounted* m = State();
    const Node* node = Find(m, path);
    if (!node) return -ENOENT;
    StatOf(m, *node, st);
    return 0;
}

// Listing with attributes (readdirplus) spares the kernel a lookup per
// file a program then opens.
int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags flags) {
    Mounted* m = State();
    const Node* node = Find(m, path);
    if (!node) return -ENOENT;
    if (!node->folder) return -ENOTDIR;
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    bool plus = flags & FUSE_READDIR_PLUS;
    struct stat st;
    for (const auto& [name, child] : node->children) {
        if (plus) StatOf(m, m->nodes[child], &st);
        fill(buffer, name.c_str(), plus ? &st : nullptr, 0,
             plus ? FUSE_FILL_DIR_PLUS : static_cast<fuse_fill_dir_flags>(0));
    }
    return 0;
}

int Open(const char* path, fuse_file_info* info) {
    const Node* node = Find(State(), path);
    if (!node) return -ENOENT;
    if (node->folder) return -EISDIR;
    if ((info->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    info->keep_cache = 1;
    return 0;
}

void DropOldest(Cache* c) {
    uint64_t old = c->order.back();
    c->used -= c->kept[old].size;
    c->kept.erase(old);
    c->order.pop_back();
}

// Keeps a piece as the most recent, dropping the oldest to make room.
void Keep(Cache* c, uint64_t key, Cache::Kept kept) {
    while (!c->order.empty() && c->used + kept.size > c->budget) DropOldest(c);
    c->order.push_front(key);
    Cache::Kept& k = c->kept[key];
    k = std::move(kept);
    k.at = c->order.begin();
    c->used += k.size;
}

// Decodes name whole and keeps its pieces from `first` on, as many as the
// budget holds (at least `first` itself), the last kept first so that
// `first` is the most recent. False with the engine's code.
bool Decode(Mounted* m, uint32_t name, uint32_t first, uint32_t* code) {
    uint32_t size = 0;
    Content whole(GrfReadClientName(m->view.get(), name, &size));
    if (!whole) {
        *code = GrfLastError;
        return false;
    }
    if (size <= kPiece) {
        Cache::Kept kept;
        kept.whole = std::move(whole);
        kept.size = size;
        Keep(&m->cache, PieceKey(name, 0), std::move(kept));
        return true;
    }
    uint32_t pieces = (size + kPiece - 1) / kPiece;
    uint64_t room = std::max<uint64_t>(m->cache.budget / kPiece, 1);
    uint32_t last = static_cast<uint32_t>(std::min<uint64_t>(pieces, first + room)) - 1;
    for (uint32_t p = last + 1; p-- > first;) {
        if (m->cache.kept.count(PieceKey(name, p))) continue;
        Cache::Kept kept;
        kept.size = std::min(kPiece, size - p * kPiece);
        kept.own.reset(new (std::nothrow) uint8_t[kept.size]);
        if (!kept.own) {
            *code = GRF_ERROR_MEMORY;
            return false;
        }
        memcpy(kept.own.get(), whole.get() + size_t{p} * kPiece, kept.size);
        Keep(&m->cache, PieceKey(name, p), std::move(kept));
    }
    return true;
}

// The piece of name, from the cache or decoded now (the lock held).
const Cache::Kept* Piece(Mounted* m, uint32_t name, uint32_t piece, uint32_t* code) {
    Cache& c = m->cache;
    auto found = c.kept.find(PieceKey(name, piece));
    if (found == c.kept.end()) {
        if (!Decode(m, name, piece, code)) return nullptr;
        found = c.kept.find(PieceKey(name, piece));
        if (found == c.kept.end()) {  // a budget smaller than the piece
            *code = GRF_ERROR_MEMORY;
            return nullptr;
        }
    }
    c.order.splice(c.order.begin(), c.order, found->second.at);
    return &found->second;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    Mounted* m = State();
    const Node* node = Find(m, path);
    if (!node || node->folder) return -ENOENT;
    if (offset < 0 || static_cast<uint64_t>(offset) >= node->size) return 0;
    std::lock_guard<std::mutex> hold(m->lock);
    size_t done = 0, wanted = std::min<uint64_t>(size, node->size - static_cast<uint64_t>(offset));
    while (done < wanted) {
        uint64_t at = static_cast<uint64_t>(offset) + done;
        uint32_t code = GRF_OK;
        const Cache::Kept* k = Piece(m, node->name, static_cast<uint32_t>(at / kPiece), &code);
        if (!k) {
            Complain(path + std::string(": ") + ErrorText(code));
            return -EIO;
        }
        uint32_t within = static_cast<uint32_t>(at % kPiece);
        if (within >= k->size) break;  // the entry decoded shorter than its size
        size_t take = std::min<size_t>(wanted - done, k->size - within);
        memcpy(buffer + done, k->Bytes() + within, take);
        done += take;
    }
    return static_cast<int>(done);
}

// Nothing under the mount ever changes while it is mounted: the kernel may
// keep names, attributes and contents as long as it likes, and read ahead
// in large blocks, which spares a round trip through this process per
// lookup and per 128 KB.
void* Init(fuse_conn_info* connection, fuse_config* config) {
    config->kernel_cache = 1;
    config->entry_timeout = config->attr_timeout = config->negative_timeout = 86400;
    connection->max_readahead = 1 << 20;
    return fuse_get_context()->private_data;
}

struct MountOptions {
    std::string archive;
    ClientChoice client;
    std::string mountpoint;
    uint64_t cacheMb = 256;
};

int RunMount(MountOptions o) {
    if (o.client.Given() && o.mountpoint.empty()) std::swap(o.archive, o.mountpoint);
    if (o.mountpoint.empty() || o.client.Given() == !o.archive.empty())
        return CannotRun("mount takes ARCHIVE or --client DIR, then MOUNTPOINT");
    std::string why;
    auto m = std::make_unique<Mounted>();
    m->view = o.client.Given() ? OpenClient(o.client, &why) : OpenArchivesView({o.archive}, &why);
    if (!m->view) return CannotRun(why);
    m->cache.budget = o.cacheMb << 20;
    m->time = time(nullptr);
    BuildTree(m.get());

    fuse_operations ops{};
    ops.init = Init;
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.read = Read;
    const char* argv[] = {"caskw", "-o", "ro,default_permissions,fsname=caskw,subtype=caskw"};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    fuse* fs = fuse_new(&args, &ops, sizeof ops, m.get());
    if (!fs) return CannotRun("FUSE could not start");
    if (fuse_mount(fs, o.mountpoint.c_str()) != 0) {
        fuse_destroy(fs);
        return CannotRun(o.mountpoint + ": could not be mounted (FUSE 3 and /dev/fuse needed)");
    }
    fuse_session* session = fuse_get_session(fs);
    fuse_set_signal_handlers(session);
    Note(Count(m->view->nameCount, "name", "names") + " mounted read-only at " + o.mountpoint +
         "; 'caskw unmount " + o.mountpoint + "' or Ctrl-C ends it");
    int looped = fuse_loop(fs);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fs);
    fuse_destroy(fs);
    Note(o.mountpoint + " unmounted");
    return looped == 0 ? kExitDone : kExitSomeFailed;
}

int RunUnmount(const std::string& mountpoint) {
    const char* argv[] = {"fusermount3", "-u", mountpoint.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "fusermount3", nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0)
        return CannotRun("fusermount3 could not be run (package fuse3)");
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return CannotRun(mountpoint + ": not unmounted");
    return kExitDone;
}

}  // namespace

void AddMountCommands(CLI::App* app, int* exitCode) {
    auto o = std::make_shared<MountOptions>();
    CLI::App* m = app->add_subcommand(
        "mount", "Serve an archive or a whole client as a read-only folder (FUSE)");
    m->add_option("ARCHIVE", o->archive, "the archive");
    m->add_option("MOUNTPOINT", o->mountpoint, "an empty folder to mount on");
    AddClientOptions(m, &o->client);
    m->add_option("--cache", o->cacheMb, "MB of decoded contents kept (default 256)")
        ->type_name("MB")
        ->check(CLI::Range(1, 1 << 20));
    m->footer(R"(Runs until 'caskw unmount MOUNTPOINT' or Ctrl-C. Files have their real
sizes and the names extraction gives them; contents are decoded when read
and the most recently read kept, up to --cache MB.)");
    m->callback([=] { *exitCode = RunMount(*o); });

    auto point = std::make_shared<std::string>();
    CLI::App* u = app->add_subcommand("unmount", "End a caskw mount");
    u->add_option("MOUNTPOINT", *point, "where it is mounted")->required();
    u->callback([=] { *exitCode = RunUnmount(*point); });
}

}  // namespace caskw
