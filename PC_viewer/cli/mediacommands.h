// pellister-cli commands of the media engine: probe a clip, write one of its pictures.
#pragma once

#include "cli/clicommands.h"

QVector<CliCommand> MediaCommands();

// Text for a media result code, for messages ("no video stream", "time-out", ...).
QString MediaResultText(long hr);
