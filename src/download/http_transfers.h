#pragma once

// Transfers over HTTP, HTTPS and FTP with the engine of src/engine.

#include "download/transfers.h"
#include "engine/engine.h"

namespace quorvane {

// Turns the program's settings record into the engine's options (see engine_downloader.h).
engine::JobOptions jobOptionsFrom(const TransferSettings& settings,
                                  const EngineConfiguration& configuration);

class HttpTransfers final : public Transfers, private engine::Listener {
  public:
    explicit HttpTransfers(TransferEvents& events);
    // Interrupts what runs (it is kept for a resume) and joins the engine's thread.
    ~HttpTransfers() override;

    StartedTransfer start(const TransferSettings& settings,
                          const EngineConfiguration& configuration) override;
    void stop(TransferId id, bool keepForResume) override;

  private:
    void onSizeKnown(engine::JobId job, std::int64_t totalSize, std::int64_t room) override;
    void onJobEnded(engine::JobId job, const engine::JobReport& report) override;

    TransferEvents& events_;
    std::unique_ptr<engine::Engine> engine_;
};

}  // namespace quorvane
