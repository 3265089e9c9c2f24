-- SPDX-License-Identifier: MIT
-- wrk script: posts the program's own e-mail request; the summary counts the answers
-- that were not 200.
local boundary = "---------------------------7da138124d076e"
local fields = {{"type", "gold"}, {"email", "user@example.com"}, {"last", "1650.00"},
                {"new", "1662.50"}, {"chg", "12.50"}}
local body = ""
for _, field in ipairs(fields) do
    body = body .. "--" .. boundary .. "\r\nContent-Disposition: form-data; name=\"" ..
           field[1] .. "\"\r\n\r\n" .. field[2] .. "\r\n"
end
body = body .. "--" .. boundary .. "--\r\n"

wrk.method = "POST"
wrk.path = "/price_notify.php"
wrk.body = body
wrk.headers["Content-Type"] = "multipart/form-data; boundary=" .. boundary

local threads = {}
function setup(thread)
    table.insert(threads, thread)
end

answers = 0
refused = 0
function response(status, headers, body)
    answers = answers + 1
    if status ~= 200 then
        refused = refused + 1
    end
end

function done(summary, latency, requests)
    local total, bad = 0, 0
    for _, thread in ipairs(threads) do
        total = total + thread:get("answers")
        bad = bad + thread:get("refused")
    end
    io.write(string.format("answers: %d, not 200: %d\n", total, bad))
end
