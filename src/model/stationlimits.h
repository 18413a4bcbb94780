#pragma once

// Fixed sizes of the station's tables.
inline constexpr int kChannelCount = 30; // poll-list rows
inline constexpr int kTerminalCount = 10; // serial terminals "Терминал1".."Терминал10"
inline constexpr int kRxBufferSize = 512; // characters of one frame being received
