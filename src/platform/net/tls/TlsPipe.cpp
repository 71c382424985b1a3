#include "platform/net/tls/TlsPipe.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <array>

#include "platform/Tick.h"
#include "platform/net/tls/TlsContext.h"
#include "platform/net/tls/TlsFailures.h"
#include "platform/net/tls/TlsPin.h"
#include "platform/net/tls/TlsVerify.h"

namespace horalux::platform {
namespace {

constexpr std::size_t kChunk = 16 * 1024 + 512;  // one TLS record and its overhead
// close_notify goes out only if there is room at once: a closing port waits for no one.
constexpr std::uint32_t kGoodbyeStallMs = 0;

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

class TlsPipe final : public BytePipe {
  public:
    TlsPipe(std::unique_ptr<BytePipe> inner, SslContext context, const std::string& host,
            std::optional<Sha256> pin, bool haveCertificate,
            std::shared_ptr<TlsAfterword> afterword)
        : inner_(std::move(inner)),
          context_(std::move(context)),
          check_(host, pin),
          haveCertificate_(haveCertificate),
          afterword_(std::move(afterword)) {}
    ~TlsPipe() override { close(); }
    TlsPipe(const TlsPipe&) = delete;
    TlsPipe& operator=(const TlsPipe&) = delete;

    bool handshake(std::uint32_t limitMs, std::string& cause);
    NetResult receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) override;
    NetResult sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs) override;
    void close() override;

  private:
    static int onCertificateAsked(SSL* ssl, void* self) {
        (void)ssl;
        static_cast<TlsPipe*>(self)->certificateAsked_ = true;
        return 1;
    }
    // Sends what the library has written for the server.
    NetResult flush(std::uint32_t stallMs);
    // Takes in what the server sent, waiting up to `timeoutMs`.
    NetResult fill(std::uint32_t timeoutMs);
    std::string refusedOurs() const { return refusedOurCertificate(haveCertificate_); }
    // The connection ended: when it ended as a refusal of us, the set-up is told so.
    void noteEnd(int reason);

    std::unique_ptr<BytePipe> inner_;
    SslContext context_;
    std::unique_ptr<SSL, SslFree> ssl_;
    BIO* fromServer_ = nullptr;  // owned by ssl_
    BIO* toServer_ = nullptr;    // owned by ssl_
    ServerCheck check_;
    bool haveCertificate_ = false;
    bool certificateAsked_ = false;
    bool lineCame_ = false;
    bool open_ = false;
    std::shared_ptr<TlsAfterword> afterword_;
};

bool TlsPipe::handshake(std::uint32_t limitMs, std::string& cause) {
    ssl_.reset(SSL_new(context_.get()));
    fromServer_ = BIO_new(BIO_s_mem());
    toServer_ = BIO_new(BIO_s_mem());
    if (!ssl_ || fromServer_ == nullptr || toServer_ == nullptr || !check_.attach(ssl_.get())) {
        BIO_free(fromServer_);
        BIO_free(toServer_);
        cause = libraryError("the TLS library could not be set up");
        return false;
    }
    // An empty buffer means "more to come", not the end of the stream.
    BIO_set_mem_eof_return(fromServer_, -1);
    SSL_set_bio(ssl_.get(), fromServer_, toServer_);
    SSL_set_connect_state(ssl_.get());
    SSL_set_cert_cb(ssl_.get(), &TlsPipe::onCertificateAsked, this);
    const std::int64_t deadline = monotonicMs() + limitMs;
    for (;;) {
        ERR_clear_error();
        const int done = SSL_do_handshake(ssl_.get());
        const int error = SSL_get_error(ssl_.get(), done);
        const int reason = ERR_GET_REASON(ERR_peek_error());
        const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicMs());
        const NetResult sent = flush(static_cast<std::uint32_t>(left));
        if (done == 1 && sent.status == NetStatus::Ok) {
            open_ = true;
            return true;
        }
        if (error != SSL_ERROR_WANT_READ && done != 1) {
            cause = handshakeFailure(reason, check_.refusal(), haveCertificate_);
            return false;
        }
        if (sent.status != NetStatus::Ok) {
            cause = sent.status == NetStatus::Stalled
                        ? "the device server did not complete the TLS handshake"
                        : "the device server closed the connection during the TLS handshake";
            return false;
        }
        if (left == 0) {
            cause = "the device server did not complete the TLS handshake (is it a TLS port?)";
            return false;
        }
        const NetResult got = fill(static_cast<std::uint32_t>(left));
        if (got.interrupted) {
            cause = "interrupted";
            return false;
        }
        if (got.status != NetStatus::Ok) {
            cause = certificateAsked_
                        ? refusedOurs()
                        : "the device server closed the connection during the TLS handshake";
            return false;
        }
    }
}

NetResult TlsPipe::flush(std::uint32_t stallMs) {
    NetResult result;
    std::array<std::uint8_t, kChunk> chunk{};
    while (BIO_ctrl_pending(toServer_) > 0) {
        const int n = BIO_read(toServer_, chunk.data(), static_cast<int>(chunk.size()));
        if (n <= 0) {
            break;
        }
        const NetResult sent = inner_->sendAll(
            std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n)), stallMs);
        if (sent.status != NetStatus::Ok) {
            result.status = sent.status;
            return result;
        }
    }
    return result;
}

NetResult TlsPipe::fill(std::uint32_t timeoutMs) {
    std::array<std::uint8_t, kChunk> chunk{};
    NetResult got = inner_->receive(chunk, timeoutMs);
    if (got.status == NetStatus::Ok && got.count > 0) {
        BIO_write(fromServer_, chunk.data(), static_cast<int>(got.count));
    }
    return got;
}

void TlsPipe::noteEnd(int reason) {
    if (lineCame_ || !afterword_ || !afterword_->cause.empty()) {
        return;
    }
    if (certificateAsked_ || isAlertOnOurCertificate(reason)) {
        afterword_->cause = refusedOurs();
    }
}

NetResult TlsPipe::receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) {
    NetResult result;
    if (!open_) {
        result.status = NetStatus::Failed;
        return result;
    }
    if (buffer.empty()) {
        return result;
    }
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (bool first = true;; first = false) {
        ERR_clear_error();
        std::size_t count = 0;
        const int done = SSL_read_ex(ssl_.get(), buffer.data(), buffer.size(), &count);
        const int error = SSL_get_error(ssl_.get(), done);
        const int reason = ERR_GET_REASON(ERR_peek_error());
        // Reading may owe the server an answer (a key update, say).
        const NetResult sent = flush(kSendStallMs);
        if (done == 1) {
            lineCame_ = true;
            result.count = count;
            return result;
        }
        if (error != SSL_ERROR_WANT_READ || sent.status != NetStatus::Ok) {
            noteEnd(reason);
            result.status = NetStatus::Closed;
            return result;
        }
        const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicMs());
        if (left == 0 && !first) {
            return result;
        }
        const NetResult got = fill(static_cast<std::uint32_t>(left));
        if (got.interrupted) {
            result.interrupted = true;
            return result;
        }
        if (got.status != NetStatus::Ok) {
            noteEnd(0);
            result.status = got.status;
            return result;
        }
        if (got.count == 0) {
            return result;
        }
    }
}

NetResult TlsPipe::sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs) {
    NetResult result;
    if (!open_) {
        result.status = NetStatus::Failed;
        return result;
    }
    if (bytes.empty()) {
        return result;
    }
    ERR_clear_error();
    std::size_t written = 0;
    if (SSL_write_ex(ssl_.get(), bytes.data(), bytes.size(), &written) != 1) {
        result.status = NetStatus::Closed;
        return result;
    }
    const NetResult sent = flush(stallMs);
    if (sent.status != NetStatus::Ok) {
        result.status = sent.status;
        return result;
    }
    result.count = written;
    return result;
}

void TlsPipe::close() {
    if (open_) {
        open_ = false;
        SSL_shutdown(ssl_.get());
        flush(kGoodbyeStallMs);
    }
    if (inner_) {
        inner_->close();
    }
}

}  // namespace

bool tlsAvailable() {
    return true;
}

std::unique_ptr<BytePipe> startTls(const std::function<std::unique_ptr<BytePipe>()>& connect,
                                   const std::string& host, const TlsSettings& settings,
                                   std::uint32_t handshakeMs,
                                   std::shared_ptr<TlsAfterword> afterword, std::string& cause) {
    std::optional<Sha256> pin;
    if (!settings.pin.empty()) {
        pin = parsePin(settings.pin);
        if (!pin) {
            cause = "the pin must be " + std::string(kPinForm);
            return nullptr;
        }
    }
    SslContext context = makeClientContext(settings, cause);
    if (!context) {
        return nullptr;
    }
    std::unique_ptr<BytePipe> inner = connect();
    if (!inner) {
        return nullptr;
    }
    auto pipe = std::make_unique<TlsPipe>(std::move(inner), std::move(context), host, pin,
                                          !settings.certFile.empty(), std::move(afterword));
    if (!pipe->handshake(handshakeMs, cause)) {
        return nullptr;
    }
    return pipe;
}

}  // namespace horalux::platform
