-- Wireshark dissector for the Trelm control protocol: the user data of
-- NetBIOS direct group datagrams sent to a channel's "DEVICE_CONTROL..."
-- name (commands) or "ORM..." name (revertives). It registers in the
-- "netbios" heuristic table, to which the datagram service hands its user
-- data. Use:
--   tshark -X lua_script:trelm.lua -r capture.pcapng
--   tshark -X lua_script:trelm.lua -d udp.port==13800,nbdgm -i lo   (our wrapper's traffic)
-- or copy it into Wireshark's personal plugins folder.

local trelm = Proto("trelm", "Trelm control protocol")

local f = {
  kind = ProtoField.string("trelm.kind", "Kind"),
  command = ProtoField.string("trelm.command", "Command"),
  number = ProtoField.uint16("trelm.number", "Command number"),
  code = ProtoField.string("trelm.code", "Code"),
  device = ProtoField.int32("trelm.device", "Device"),
  serial = ProtoField.string("trelm.serial", "Packet serial"),
  serial_number = ProtoField.uint32("trelm.serial_number", "Packet serial number", base.HEX),
  first = ProtoField.int32("trelm.first", "First index"),
  last = ProtoField.int32("trelm.last", "Last index"),
  slot_size = ProtoField.int32("trelm.slot_size", "Slot size"),
  iws = ProtoField.int32("trelm.iws", "iWS"),
  index = ProtoField.int32("trelm.index", "Index"),
  state = ProtoField.int32("trelm.state", "State"),
  value = ProtoField.int32("trelm.value", "Value"),
  text = ProtoField.string("trelm.text", "Text"),
  workstation = ProtoField.uint16("trelm.workstation", "Workstation"),
  count = ProtoField.int8("trelm.count", "Message count"),
  message = ProtoField.uint16("trelm.message", "Message"),
  msg_type = ProtoField.uint8("trelm.msg_type", "Message type", base.DEC,
    { [1] = "RR", [2] = "GR", [3] = "IR", [4] = "text" }, 0xF0),
  reference = ProtoField.uint16("trelm.reference", "Reference"),
  time = ProtoField.string("trelm.time", "Time set"),
}
trelm.fields = f

local malformed = ProtoExpert.new("trelm.malformed", "Malformed Trelm datagram",
  expert.group.MALFORMED, expert.severity.ERROR)
trelm.experts = { malformed }

local destination_name = Field.new("nbdgm.destination_name")

-- The text of a range, up to its first zero byte.
local function text_of(range)
  return range:raw():match("^[^%z]*")
end

-- The decimal number at the start of s (blanks, a sign, digits), or nil.
local function number_at(s)
  local n = s:match("^%s*([%+%-]?%d+)")
  return n and tonumber(n) or nil
end

-- Up to count tokens from character 3 on (a word, or a text in quotes).
local function tokens(s, count)
  local out, pos = {}, 4
  while #out < count and pos <= #s + 1 do
    while s:sub(pos, pos) == " " do pos = pos + 1 end
    local token
    if s:sub(pos, pos) == "'" then
      local close = s:find("'", pos + 1, true)
      token = s:sub(pos + 1, (close or #s + 1) - 1)
      pos = close and close + 1 or #s + 1
    else
      local stop = s:find(" ", pos, true) or #s + 1
      token = s:sub(pos, stop - 1)
      pos = stop
    end
    out[#out + 1] = token
    while pos <= #s and s:sub(pos, pos) ~= " " do pos = pos + 1 end
  end
  while #out < count do out[#out + 1] = "" end
  return out
end

local function clamp32(n)
  if not n then return 0 end
  if n > 2147483647 then return 2147483647 end
  if n < -2147483648 then return -2147483648 end
  return n
end

local function dissect_command(buf, tree)
  local s = buf:raw(0, buf:len()):match("^[^%z]*")
  tree:add(f.kind, "command")
  -- Colons between quotes belong to their command.
  local pieces, piece_start, quoted = {}, 1, false
  for i = 1, #s do
    local c = s:sub(i, i)
    if c == "'" then quoted = not quoted
    elseif c == ":" and not quoted then
      pieces[#pieces + 1] = { piece_start, i - 1 }
      piece_start = i + 1
    end
  end
  pieces[#pieces + 1] = { piece_start, #s }
  for n, p in ipairs(pieces) do
    local length = p[2] - p[1] + 1
    if length > 0 then
      local text = s:sub(p[1], p[2])
      local sub = tree:add(f.command, buf(p[1] - 1, length), text)
      sub:add(f.number, n)
      sub:add(f.code, buf(p[1] - 1, math.min(2, length)), text:sub(1, 2))
      local device = number_at(text:sub(4))
      if device then sub:add(f.device, clamp32(device)) end
      if text:sub(1, 2) == "NN" then
        local t = tokens(text, 2)
        sub:add(f.serial, t[2])
      end
    end
  end
end

local function header_numbers(tree, t, names)
  for i, name in ipairs(names) do
    tree:add(f[name], clamp32(number_at(t[i]) or 0))
  end
end

local function dissect_text_headed(buf, tree, pinfo, code)
  local raw = buf:raw(0, buf:len())
  local s = raw:match("^[^%z]*")
  local head_size = code == "GR" and 16 or 24
  local head = raw:sub(1, head_size):match("^[^%z]*")
  if code == "IR" then head = raw:sub(1, 23):match("^[^%z]*") end
  local t = tokens(code == "RR" and s or head, code == "GR" and 3 or 4)
  local device = clamp32(number_at(t[1]) or 0)
  local first, last = clamp32(number_at(t[2]) or 0), clamp32(number_at(t[3]) or 0)
  tree:add(f.device, device)
  tree:add(f.first, first)
  tree:add(f.last, last)
  if code == "IR" then tree:add(f.slot_size, clamp32(number_at(t[4]) or 0)) end
  if code == "RR" then tree:add(f.iws, clamp32(number_at(t[4]) or 0)) end
  if device < 1 or device > 999 then
    tree:add_proto_expert_info(malformed, "device outside 1..999")
    return
  end
  local count = last - first + 1
  if count <= 0 then return end
  local width = code == "GR" and 1 or code == "RR" and 2 or clamp32(number_at(t[4]) or 0)
  if width < 1 or width > 255 or head_size + width * count > 512 or
     head_size + width * count > buf:len() then
    tree:add_proto_expert_info(malformed, "items past the datagram")
    return
  end
  for k = 0, count - 1 do
    local at = head_size + width * k
    local item = tree:add(buf(at, width), string.format("%s %d %d", code, device, first + k))
    item:add(f.index, first + k)
    if code == "GR" then
      local b = buf(at, 1):uint()
      if b > 127 then b = b - 256 end
      item:add(f.state, buf(at, 1), b - 48)
    elseif code == "RR" then
      item:add(f.value, buf(at, 2), buf(at, 2):le_int())
    else
      item:add(f.text, buf(at, width), text_of(buf(at, width)))
    end
  end
end

local function dissect_universal(buf, tree)
  if buf:len() < 6 then
    tree:add_proto_expert_info(malformed, "shorter than the universal header")
    return
  end
  tree:add(f.workstation, buf(3, 2))
  tree:add(f.count, buf(5, 1))
  local count = buf(5, 1):int()
  local a, len = 6, math.min(buf:len(), 512)
  for i = 1, count do
    if a + 4 > len then
      if a < len then tree:add_proto_expert_info(malformed, "message head past the datagram") end
      return
    end
    local type = bit.rshift(buf(a, 1):uint(), 4)
    local device = bit.band(buf(a, 1):uint(), 0x0F) * 256 + buf(a + 1, 1):uint()
    local reference = buf(a + 2, 2):uint()
    local size
    if device == 0xFFF and reference == 0xFFFF then size = 8
    elseif type == 1 then size = 8
    elseif type == 2 then size = 7
    elseif type == 3 and a + 7 <= len then size = 7 + buf(a + 6, 1):uint()
    elseif type == 4 and a + 5 <= len then size = 7 + buf(a + 4, 1):uint()
    end
    if size == nil and (type < 1 or type > 4) then
      local m = tree:add(f.message, buf(a, 4), i)
      m:add(f.msg_type, buf(a, 1))
      m:add_proto_expert_info(malformed, "illegal message type " .. type)
      return
    end
    if size == nil or a + size > len then
      local m = tree:add(f.message, buf(a, len - a), i)
      m:add_proto_expert_info(malformed, "message exceeds packet boundary")
      return
    end
    local m = tree:add(f.message, buf(a, size), i)
    if device == 0xFFF and reference == 0xFFFF then
      m:append_text(" (packet serial)")
      m:add(f.serial_number, buf(a + 4, 4), bit.band(buf(a + 4, 4):uint(), 0x7FFFFFFF))
    else
      m:add(f.msg_type, buf(a, 1))
      -- A text message's head names no device; an "RM" text names one.
      if type ~= 4 then m:add(f.device, buf(a, 2), device) end
      m:add(f.reference, buf(a + 2, 2))
      if type == 1 then
        m:add(f.index, buf(a + 4, 2), buf(a + 4, 2):int())
        m:add(f.value, buf(a + 6, 2), buf(a + 6, 2):int())
      elseif type == 2 then
        m:add(f.index, buf(a + 4, 2), buf(a + 4, 2):int())
        m:add(f.state, buf(a + 6, 1), buf(a + 6, 1):uint())
      elseif type == 3 then
        m:add(f.index, buf(a + 4, 2), buf(a + 4, 2):int())
        local n = buf(a + 6, 1):uint()
        if n > 0 then m:add(f.text, buf(a + 7, n), text_of(buf(a + 7, n))) end
      else
        local n = buf(a + 4, 1):uint()
        if n > 0 then
          local text = text_of(buf(a + 7, n))
          m:add(f.text, buf(a + 7, n), text)
          if text:sub(1, 2) == "RM" then
            local named = number_at(text:sub(4))
            if named then m:add(f.device, clamp32(named)) end
          end
        end
      end
    end
    a = a + size
  end
end

local function dissect_revertive(buf, tree, pinfo)
  tree:add(f.kind, "revertive")
  local raw = buf:raw(0, math.min(buf:len(), 2))
  local code = raw
  tree:add(f.code, buf(0, math.min(2, buf:len())), code)
  local s = buf:raw(0, buf:len()):match("^[^%z]*")
  if code == "GR" or code == "IR" or code == "RR" then
    dissect_text_headed(buf, tree, pinfo, code)
  elseif code == "HB" then
    if buf:len() >= 7 then
      tree:add_le(f.workstation, buf(5, 2))
    else
      tree:add_proto_expert_info(malformed, "heartbeat shorter than 7 bytes")
    end
  elseif code == "TS" then
    tree:add(f.time, s:sub(4))
  elseif code == "UR" then
    dissect_universal(buf, tree)
  else
    tree:add(f.text, s)
    local device = number_at(s:sub(4))
    if device and (code == "RD" or code:sub(1, 1) == "N") then tree:add(f.device, clamp32(device)) end
  end
end

local function heuristic(buf, pinfo, tree)
  local dest = destination_name()
  if dest == nil then return false end
  local name = tostring(dest.value)
  local command = name:sub(1, 14) == "DEVICE_CONTROL"
  local revertive = name:sub(1, 3) == "ORM"
  if not command and not revertive then return false end
  pinfo.cols.protocol = "TRELM"
  local subtree = tree:add(trelm, buf(), "Trelm control protocol")
  if buf:len() == 0 then
    subtree:add_proto_expert_info(malformed, "empty datagram")
    return true
  end
  if command then
    pinfo.cols.info = "Command: " .. buf:raw(0, buf:len()):match("^[^%z]*")
    dissect_command(buf, subtree)
  else
    pinfo.cols.info = "Revertive " .. buf:raw(0, math.min(2, buf:len()))
    dissect_revertive(buf, subtree, pinfo)
  end
  return true
end

trelm:register_heuristic("netbios", heuristic)
