#include "chartserver/source_chain.h"

#include "toolbase/terminal_text.h"

namespace chartloom::chartserver {

SourceChain::SourceChain(std::vector<std::unique_ptr<FeedSource>> sources, Report report,
                         std::chrono::milliseconds passOver)
    : report_(std::move(report)), passOver_(passOver) {
    for (auto& source : sources)
        members_.push_back({std::move(source)});
}

void SourceChain::cancel() {
    for (Member& member : members_)
        member.source->cancel();
}

bool SourceChain::settles(const BridgeAnswer& answer) {
    // A feeds folder's file answers whatever it says; elsewhere only a fresh chart does.
    return answer.source == "file" ? answer.status != 404
                                   : answer.status == 200 && answer.source != "stale";
}

bool SourceChain::passedOver(Member& member) {
    std::lock_guard lock(mutex_);
    return members_.size() > 1 && Clock::now() < member.passOverUntil;
}

void SourceChain::learn(std::size_t index, const BridgeAnswer& answer) {
    if (members_.size() < 2)
        return;
    Member& member = members_[index];
    std::string line;
    {
        std::lock_guard lock(mutex_);
        if (!answer.sourceDown) {
            member.passOverUntil = {};
            member.said = false;
            return;
        }
        member.passOverUntil = Clock::now() + passOver_;
        if (member.said)
            return;
        member.said = true;
        std::string others;
        for (std::size_t i = 0; i < members_.size(); ++i) {
            if (i != index)
                others += (others.empty() ? "" : ", ") + members_[i].source->name();
        }
        line = "chartloom: " + member.source->name() + " did not answer (" + answer.cause +
               "); its charts come from " + others + " for a while";
    }
    report_(printable(line, false, 1000));
}

std::optional<BridgeAnswer> SourceChain::answerAtOnce(FeedKind feed, const FeedRequest& request) {
    std::vector<BridgeAnswer> answers;
    for (Member& member : members_) {
        std::optional<BridgeAnswer> answer = member.source->answerAtOnce(feed, request);
        if (!answer)
            return std::nullopt;
        answer->from = member.source->name();
        if (settles(*answer))
            return answer;
        answers.push_back(std::move(*answer));
    }
    return combine(std::move(answers));
}

BridgeAnswer SourceChain::fetch(FeedKind feed, const FeedRequest& request,
                                Clock::time_point deadline) {
    std::vector<BridgeAnswer> answers;
    for (std::size_t i = 0; i < members_.size(); ++i) {
        FeedSource& source = *members_[i].source;
        std::optional<BridgeAnswer> answer = source.answerAtOnce(feed, request);
        if (!answer) {
            bool skip = passedOver(members_[i]);
            answer = source.fetch(feed, request, deadline, !skip);
            if (!skip)
                learn(i, *answer);
        }
        answer->from = source.name();
        if (settles(*answer))
            return std::move(*answer);
        answers.push_back(std::move(*answer));
    }
    return combine(std::move(answers));
}

BridgeAnswer SourceChain::combine(std::vector<BridgeAnswer> answers) const {
    if (answers.empty())
        return answerWithout(404, "", "-", "no chart source", "no chart source");
    auto first = [&](auto&& wanted) -> BridgeAnswer* {
        for (BridgeAnswer& answer : answers) {
            if (wanted(answer))
                return &answer;
        }
        return nullptr;
    };
    BridgeAnswer* chosen = first([](const BridgeAnswer& a) { return a.status == 200; });
    if (!chosen)
        chosen = first([](const BridgeAnswer& a) { return a.status == 503; });
    if (!chosen && !first([](const BridgeAnswer& a) { return a.status != 404; }))
        chosen = &answers.front();
    if (!chosen) {
        chosen = first([](const BridgeAnswer& a) { return a.status != 404; });
        chosen->status = 502;
    }
    if (answers.size() > 1 && chosen->status != 200) {
        // Every source's part of the story, each named unless its words name it already.
        std::string causes;
        for (const BridgeAnswer& answer : answers) {
            if (answer.cause.empty())
                continue;
            bool named = answer.cause.find(answer.from) != std::string::npos;
            causes += (causes.empty() ? "" : "; ") +
                      (named ? answer.cause : answer.from + ": " + answer.cause);
        }
        chosen->cause = causes;
    }
    return std::move(*chosen);
}

}  // namespace chartloom::chartserver
