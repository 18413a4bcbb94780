#include "pollbook.h"

#include "channelentry.h"
#include "stationtexts.h"

void PollBook::requested(int t, int k)
{
    if (validTerminal(t))
        m_requestPending[size_t(t)] = true;
    if (validChannel(k))
        m_awaitingAnswer[size_t(k)] = true;
}

void PollBook::answered(int t, int k)
{
    release(t, k);
}

void PollBook::timedOut(int t, int k)
{
    release(t, k);
}

void PollBook::release(int t, int k)
{
    if (validChannel(k))
        m_awaitingAnswer[size_t(k)] = false;
    if (validTerminal(t))
        m_requestPending[size_t(t)] = false;
}

void PollBook::configured(int k, const ChannelEntry& channel)
{
    if (validChannel(k))
        m_awaitingAnswer[size_t(k)] = channel.mode == Texts::modeActive;
}

void PollBook::reset(const std::array<ChannelEntry, kChannelCount>& channels)
{
    m_requestPending.fill(false);
    for (int k = 0; k < kChannelCount; ++k)
        configured(k, channels[size_t(k)]);
}
