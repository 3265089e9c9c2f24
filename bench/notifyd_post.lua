-- SPDX-License-Identifier: MIT
-- wrk script: posts the program's own e-mail request.
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

-- The answers are counted by status (see lib/answer_count.lua, found beside this file).
dofile(debug.getinfo(1, "S").source:sub(2):match("(.*/)") .. "lib/answer_count.lua")
