// The style sheet of the HTML report, inlined in every page: the page loads nothing.
#pragma once

inline constexpr char HTML_REPORT_STYLE[] = R"(
:root { color-scheme: light; font: 13px/1.35 system-ui, "DejaVu Sans", sans-serif; color: #1d232a; background: #f3f4f6; }
body { margin: 0 24px 24px; }
h1 { font-size: 20px; margin: 18px 0 4px; }
.note { color: #8a4b00; font-weight: 600; }
table.run { border-collapse: collapse; margin: 8px 0 12px; }
table.run th { text-align: left; padding: 2px 14px 2px 0; color: #55606b; font-weight: 600; }
table.run td { padding: 2px 14px 2px 0; word-break: break-all; }
.counts { display: flex; flex-wrap: wrap; gap: 8px; margin: 6px 0 12px; }
.count { background: #fff; border: 1px solid #d5d9de; border-radius: 6px; padding: 6px 12px; min-width: 90px; }
.count b { display: block; font-size: 20px; }
.count.bad b { color: #b3261e; } .count.good b { color: #1b6e2a; } .count.warn b { color: #8a4b00; }
.count .unit { display: block; color: #55606b; font-size: 11px; }
input.filter { position: absolute; opacity: 0; width: 1px; height: 1px; margin: 0; }
input.filter:focus-visible + label { outline: 3px solid #1d4f91; outline-offset: 2px; }
nav { display: flex; gap: 6px; margin: 4px 0 14px; position: sticky; top: 0; background: #f3f4f6; padding: 6px 0; z-index: 1; }
nav label { border: 1px solid #aab2bb; border-radius: 14px; padding: 3px 12px; cursor: pointer; background: #fff; user-select: none; }
input.filter:checked + label { background: #1d4f91; border-color: #1d4f91; color: #fff; }
body:has(#show-carried:checked) main .tile:not(.carried), body:has(#show-not-carried:checked) main .tile:not(.not-carried),
body:has(#show-problems:checked) main .tile:not(.problem) { display: none; }
main { display: grid; grid-template-columns: repeat(auto-fill, minmax(168px, 1fr)); gap: 8px; align-items: start; }
.tile { margin: 0; background: #fff; border: 1px solid #d5d9de; border-left: 4px solid #1b6e2a; border-radius: 6px;
        padding: 6px; display: flex; gap: 8px; align-items: flex-start; content-visibility: auto; contain-intrinsic-size: 168px 84px; }
.tile.not-carried { border-left-color: #b3261e; background: #fff7f6; }
.tile.problem { border-left-color: #c77700; }
.thumb { flex: none; width: 64px; height: 64px; display: flex; align-items: center; justify-content: center;
         background: repeating-conic-gradient(#e6e8eb 0 25%, #fff 0 50%) 0 0 / 12px 12px; border-radius: 3px; overflow: hidden; }
.thumb img { width: 64px; height: 64px; object-fit: contain; image-rendering: pixelated; font-size: 10px; color: #b3261e; }
.placeholder { font-size: 10px; color: #b3261e; text-align: center; padding: 2px; background: #fff; }
figcaption { min-width: 0; }
.name { display: block; font-weight: 600; word-break: break-all; }
.number { font-family: "DejaVu Sans Mono", monospace; color: #55606b; }
.copies { list-style: none; margin: 2px 0 0; padding: 0; font-family: "DejaVu Sans Mono", monospace; font-size: 12px; }
.copies .evidence { display: block; color: #555; font-size: 11px; }
.copies .why { display: block; font-size: 11px; }
.copies .copied { color: #1b6e2a; } .copies .duplicate { color: #8a4b00; } .copies .failed { color: #b3261e; }
.reason { margin: 2px 0 0; color: #b3261e; font-size: 12px; }
.same { color: #1b6e2a; } .differs { color: #b3261e; font-weight: 600; }
.existing { width: 32px; height: 32px; margin: 2px 0; background: repeating-conic-gradient(#e6e8eb 0 25%, #fff 0 50%) 0 0 / 8px 8px; }
.existing img { width: 32px; height: 32px; object-fit: contain; image-rendering: pixelated; }
.existing .placeholder { font-size: 8px; }
)";
