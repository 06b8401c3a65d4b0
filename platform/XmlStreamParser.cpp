#include "platform/XmlStreamParser.h"

#include <libxml/parser.h>
#include <sys/mman.h>
#include <ucontext.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "platform/XmlParser.h"

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef OSTREL_ADDRESS_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

namespace ostrel {

namespace {

// Below this a document is parsed whole once its last octet is in, as one that was never sent piecemeal.
constexpr std::size_t kParseAhead = std::size_t(64) << 10;
constexpr std::size_t kStackSize = std::size_t(1) << 20;
constexpr std::size_t kGuardSize = std::size_t(64) << 10;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Runs a function on a stack of its own, taking turns with the thread that resumes it: the function hands
// control back when it waits for something, and gets it again at the next resume. The parser reads its
// octets as from a file, and they come in pieces from the transport's callback on the same thread: each
// takes its turn, and the octets go from one to the other without a copy or a lock, and the document is
// made by the thread, and in the memory, that asked for it.
class Coroutine {
public:
    explicit Coroutine(std::function<void()> body) : body_(std::move(body)) {
        // Mapped apart from the heap, with pages below it that fault instead of letting an overflow write
        // into other memory.
        void* mapped = mmap(nullptr, kGuardSize + kStackSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        mapping_ = static_cast<char*>(mapped);
        stack_ = mapping_ + kGuardSize;
        if (mprotect(stack_, kStackSize, PROT_READ | PROT_WRITE) != 0 || getcontext(&own_) != 0) {
            munmap(mapping_, kGuardSize + kStackSize);
            throw std::bad_alloc();
        }
        own_.uc_stack.ss_sp = stack_;
        own_.uc_stack.ss_size = kStackSize;
        own_.uc_link = &resumer_;
        makecontext(&own_, &Coroutine::run, 0);
    }
    ~Coroutine() { munmap(mapping_, kGuardSize + kStackSize); }
    Coroutine(const Coroutine&) = delete;
    Coroutine& operator=(const Coroutine&) = delete;

    // Runs the function until it yields or returns.
    void resume() {
        starting() = this;
        void* fakeStack = nullptr;
        leave(&fakeStack, stack_, kStackSize);
        swapcontext(&resumer_, &own_);
        arrive(fakeStack, nullptr, nullptr);
    }

    // From the function: back to the resumer, until the next resume.
    void yield() {
        void* fakeStack = nullptr;
        leave(&fakeStack, resumerStack_, resumerStackSize_);
        swapcontext(&own_, &resumer_);
        arrive(fakeStack, &resumerStack_, &resumerStackSize_);
    }

    bool finished() const { return finished_; }

private:
    static Coroutine*& starting() {
        thread_local Coroutine* coroutine = nullptr;
        return coroutine;
    }

    static void run() {
        Coroutine& self = *starting();
        arrive(nullptr, &self.resumerStack_, &self.resumerStackSize_);
        self.body_();
        self.finished_ = true;
        // For good: the stack this leaves is not used again.
        leave(nullptr, self.resumerStack_, self.resumerStackSize_);
    }

    // The address sanitizer follows a change of stacks only when told.
    static void leave([[maybe_unused]] void** fakeStack, [[maybe_unused]] const void* stack,
                      [[maybe_unused]] std::size_t size) {
#ifdef OSTREL_ADDRESS_SANITIZER
        __sanitizer_start_switch_fiber(fakeStack, stack, size);
#endif
    }
    static void arrive([[maybe_unused]] void* fakeStack, [[maybe_unused]] const void** previous,
                       [[maybe_unused]] std::size_t* previousSize) {
#ifdef OSTREL_ADDRESS_SANITIZER
        __sanitizer_finish_switch_fiber(fakeStack, previous, previousSize);
#endif
    }

    std::function<void()> body_;
    char* mapping_ = nullptr;
    char* stack_ = nullptr;
    ucontext_t own_{};
    ucontext_t resumer_{};
    const void* resumerStack_ = nullptr;
    std::size_t resumerStackSize_ = 0;
    bool finished_ = false;
};

}  // namespace

struct XmlStreamParser::Impl {
    Input input;
    std::string pending;  // the octets so far, until the parser starts
    long long octets = 0;
    std::optional<Coroutine> parser;
    std::string_view offered;  // octets the parser may take before it yields
    bool ended = false;
    bool abandoned = false;
    xml::Parsed parsed;

    // Text is UTF-8 whatever it declares (see XmlDocument::loadXML).
    const char* encoding() const { return input == Input::Text ? "UTF-8" : nullptr; }
    int options() const { return input == Input::Text ? XML_PARSE_IGNORE_ENC : 0; }

    void start() {
        try {
            parser.emplace([this] {
                // Nothing may unwind through the parser, nor out of the coroutine.
                try {
                    parsed.doc = xml::parseStream(
                        &Impl::read, this, input == Input::Text ? xml::Octets::Text : xml::Octets::File,
                        parsed.error);
                } catch (const std::bad_alloc&) {
                    parsed = {nullptr, {XML_ERR_NO_MEMORY, "out of memory", 0, 0}};
                } catch (...) {
                    parsed = {nullptr, {XML_ERR_INTERNAL_ERROR, "the document could not be read", 0, 0}};
                }
            });
        } catch (const std::bad_alloc&) {
            return;  // parsed whole at the end instead
        }
        std::string_view start = pending;
        if (input == Input::Text && start.starts_with(kUtf8Bom)) start.remove_prefix(kUtf8Bom.size());
        offer(start);
        std::string().swap(pending);
    }

    void offer(std::string_view more) {
        offered = more;
        if (!parser->finished()) parser->resume();
        offered = {};
    }

    // Fills the buffer as a file would, waiting for octets still to come: the parser then sees its input
    // exactly as when it reads the octets whole, so the document and its errors are the same.
    static int read(void* self, char* buffer, int length) {
        Impl& d = *static_cast<Impl*>(self);
        std::size_t filled = 0;
        const auto wanted = static_cast<std::size_t>(std::max(length, 0));
        while (filled < wanted) {
            if (d.abandoned) return -1;
            if (d.offered.empty()) {
                if (d.ended) break;
                d.parser->yield();
                continue;
            }
            const std::size_t size = std::min(wanted - filled, d.offered.size());
            std::memcpy(buffer + filled, d.offered.data(), size);
            d.offered.remove_prefix(size);
            filled += size;
        }
        return static_cast<int>(filled);
    }

    // Lets a parser that did not finish run to its end, which it reaches at once: its next read fails.
    void abandon() {
        abandoned = true;
        while (parser && !parser->finished()) parser->resume();
    }
};

XmlStreamParser::XmlStreamParser(Input input) : impl_(std::make_unique<Impl>()) {
    impl_->input = input;
}

XmlStreamParser::~XmlStreamParser() {
    impl_->abandon();
}

void XmlStreamParser::push(std::string_view octets) {
    Impl& d = *impl_;
    d.octets += static_cast<long long>(octets.size());
    if (d.parser) {
        // More than the parser takes (see xml::parse): it stops, and finish says why.
        if (d.octets > INT32_MAX) d.abandon();
        d.offer(octets);
        return;
    }
    d.pending.append(octets);
    if (d.pending.size() >= kParseAhead && d.octets <= INT32_MAX) d.start();
}

XmlDocument XmlStreamParser::finish() {
    Impl& d = *impl_;
    if (!d.parser) {
        xml::Parsed parsed;
        parsed.doc = xml::parse(d.pending, d.encoding(), d.options(), parsed.error);
        std::string().swap(d.pending);
        return XmlDocument(std::move(parsed));
    }
    d.ended = true;
    d.offer({});
    if (d.abandoned) {
        return XmlDocument(xml::Parsed{nullptr, {XML_ERR_INTERNAL_ERROR, "document too large", 0, 0}});
    }
    return XmlDocument(std::move(d.parsed));
}

}  // namespace ostrel
