#pragma once
// Ids of the resources in res_en_Amplex.dll that code names symbolically. Most texts are addressed
// by their plain numbers, which are fixed.
