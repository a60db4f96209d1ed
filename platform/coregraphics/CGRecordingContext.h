#pragma once

#include <memory>
#include <string>
#include <vector>

#include "coregraphics/CGContext.h"

namespace coregraphics {

// A context that records what is drawn instead of painting it: each call is kept as a command with the state
// in force, so tests read what would be painted and in which order.
class CGRecordingContext final : public CGContext {
  public:
    // `size` is the drawable area in points; recorded, not enforced.
    static std::shared_ptr<CGRecordingContext> create(CGSize size = {});

    const std::vector<CGDrawCommand>& commands() const { return commands_; }
    std::vector<CGDrawCommand> commands(CGDrawCommand::Kind kind) const;
    void removeAllCommands() { commands_.clear(); }
    // Every command's description, one per line.
    std::string description() const;

  protected:
    void perform(CGDrawCommand command) override { commands_.push_back(std::move(command)); }

  private:
    explicit CGRecordingContext(CGSize size) : CGContext(size) {}

    std::vector<CGDrawCommand> commands_;
};

}  // namespace coregraphics
