#Requires -Version 3.0
# Lists who else may write in a folder meant for the removal's log: the
# folder's owner, when that is anyone but SYSTEM, Administrators and
# TrustedInstaller (an owner may always change the permissions), and every
# allow entry that gives a write-type right to anyone but them. No output:
# only they can write there. An individual administrator's account counts as
# anyone: it can lose that membership and still own the folder.
# PowerShell 3 or later: Get-Acl takes -LiteralPath from 3.0 on.
#   .\check-log-folder.ps1 "C:\ProgramData\Microsoft\IntuneManagementExtension\Logs"
param([Parameter(Mandatory = $true)][string]$Folder)
# A folder that cannot be read must not pass for one with nothing to report.
$ErrorActionPreference = 'Stop'

# Write-type rights, generic ones included: WriteData/AddFile 0x2,
# AppendData/AddSubdirectory 0x4, WriteExtendedAttributes 0x10,
# DeleteSubdirectoriesAndFiles 0x40, WriteAttributes 0x100, Delete 0x10000,
# ChangePermissions 0x40000, TakeOwnership 0x80000, GenericAll 0x10000000,
# GenericWrite 0x40000000.
$writeRights = 0x2 -bor 0x4 -bor 0x10 -bor 0x40 -bor 0x100 -bor 0x10000 -bor 0x40000 -bor 0x80000 `
    -bor 0x10000000 -bor 0x40000000
$trusted = 'S-1-5-18', 'S-1-5-32-544',  # SYSTEM, Administrators
    'S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464'  # TrustedInstaller

$acl = Get-Acl -LiteralPath $Folder
$owner = $acl.GetOwner([Security.Principal.SecurityIdentifier])
if ($trusted -notcontains $owner.Value) {
  try {
    $name = $owner.Translate([Security.Principal.NTAccount]).Value
  } catch {
    $name = $owner.Value
  }
  'owner {0}: may change the permissions' -f $name
}
foreach ($rule in $acl.Access) {
  if ($rule.AccessControlType -ne 'Allow') { continue }
  # An inherit-only entry (CREATOR OWNER's, typically) gives nothing on the
  # folder itself; it only seeds what new files and folders get.
  if (($rule.PropagationFlags -band [Security.AccessControl.PropagationFlags]::InheritOnly) -ne 0) { continue }
  try {
    $sid = $rule.IdentityReference.Translate([Security.Principal.SecurityIdentifier]).Value
  } catch {
    $sid = $rule.IdentityReference.Value
  }
  if ($trusted -contains $sid) { continue }
  $mask = [int64]$rule.FileSystemRights.value__ -band 0xFFFFFFFFL
  if (($mask -band $writeRights) -ne 0) {
    '{0}: {1} (0x{2:X8})' -f $rule.IdentityReference, $rule.FileSystemRights, $mask
  }
}
