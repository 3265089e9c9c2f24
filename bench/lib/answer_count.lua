-- SPDX-License-Identifier: MIT
-- wrk: counts every answer by its status. done() prints one "status CODE COUNT" line for
-- each status seen, "errors N" (connections that failed to open, read, write or answer in
-- time) and "seconds S", for answer_tally in services.bash.
local threads = {}
function setup(thread)
    table.insert(threads, thread)
end

statuses = {}
function response(status, headers, body)
    statuses[status] = (statuses[status] or 0) + 1
end

function done(summary, latency, requests)
    local total = {}
    for _, thread in ipairs(threads) do
        for status, count in pairs(thread:get("statuses")) do
            total[status] = (total[status] or 0) + count
        end
    end
    for status, count in pairs(total) do
        io.write(string.format("status %d %d\n", status, count))
    end
    local errors = summary.errors
    io.write(string.format("errors %d\nseconds %.3f\n",
                           errors.connect + errors.read + errors.write + errors.timeout,
                           summary.duration / 1e6))
end
