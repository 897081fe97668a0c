#pragma once
// Included from a layer above: allowed.
