// Identifiers of the floor program's resources.
#pragma once

#define IDD_FLOOR 100
#define IDS_FLOOR_TITLE 101

#define FLOOR_TITLE "Tiermo Floor"
