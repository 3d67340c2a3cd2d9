// libsodium picks its implementations once, before its first use.
#pragma once

void EnsureSodiumReady();
